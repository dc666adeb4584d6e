#include "app/Settings.h"

#include <QSettings>
#include <QStringList>

#include <limits>

namespace plotwick::app::settings {

namespace {

// The stored name that equals name without regard to case; the exact name is preferred.
QString FindKey(const QSettings& s, const QString& name)
{
    const QStringList keys = s.childKeys();
    if (keys.contains(name))
        return name;
    for (const QString& k : keys)
        if (k.compare(name, Qt::CaseInsensitive) == 0)
            return k;
    return {};
}

std::optional<std::int32_t> ToInt32(const QVariant& v)
{
    bool ok = false;
    qlonglong n = 0;
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
        n = v.toLongLong(&ok);
        break;
    case QMetaType::QString:
        // The INI file holds text: only a whole decimal number counts.
        n = v.toString().trimmed().toLongLong(&ok, 10);
        break;
    default:
        return std::nullopt;
    }
    if (!ok || n < std::numeric_limits<std::int32_t>::min() || n > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(n);
}

}  // namespace

Store::Store() : settings_(std::make_unique<QSettings>(kOrganization, kApplication)) {}

Store::~Store() = default;

bool Store::Readable() const { return settings_->status() == QSettings::NoError; }

std::optional<std::int32_t> Store::Read(const Key& key) const
{
    const QString name = FindKey(*settings_, QString::fromLatin1(key.name));
    if (name.isEmpty())
        return std::nullopt;
    return ToInt32(settings_->value(name));
}

QStringList Store::Read(const TextKey& key) const
{
    const QString name = FindKey(*settings_, QString::fromLatin1(key.name));
    if (name.isEmpty())
        return {};
    const QVariant v = settings_->value(name);
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList();
    if (v.typeId() == QMetaType::QString && !v.toString().isEmpty())
        return {v.toString()};
    return {};
}

bool Store::Writable() const { return settings_->isWritable(); }

void Store::Put(const QString& name, const QVariant& value)
{
    // One value per name: spellings that differ only in case give way to ours.
    for (const QString& k : settings_->childKeys())
        if (k != name && k.compare(name, Qt::CaseInsensitive) == 0)
            settings_->remove(k);
    if (value.isValid())
        settings_->setValue(name, value);
    else
        settings_->remove(name);
}

void Store::Write(const Key& key, std::int32_t value) { Put(QString::fromLatin1(key.name), value); }

void Store::Write(const TextKey& key, const QStringList& texts)
{
    // A list of one is written as a list all the same, so that it reads back as one.
    Put(QString::fromLatin1(key.name), texts.isEmpty() ? QVariant() : QVariant(texts));
}

bool Store::Flush()
{
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}

}  // namespace plotwick::app::settings
