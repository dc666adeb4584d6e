#include "export/OutputNames.h"

#include <map>
#include <set>
#include <utility>

namespace plotwick {
namespace {

std::string Folded(const std::string& name)
{
    std::string folded = name;
    for (char& c : folded)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return folded;
}

// Hands out names of one folder: a name that is free (by itself or as another entry's own
// name) is kept; otherwise the first free one of name + suffix, then + "~2", "~3", ...
class NameSpace {
public:
    void Reserve(const std::string& name) { reserved_.insert(Folded(name)); }

    // owner tells apart the entries that share one name (the first owner keeps it).
    std::string Claim(const std::string& name, const std::string& owner, const std::string& suffix)
    {
        const std::string key = Folded(name);
        const auto first = firstOwner_.emplace(key, owner).first;
        if (first->second == owner)
            return name;
        if (const auto known = given_.find(owner); known != given_.end())
            return known->second;
        std::string base = suffix.empty() ? name : name + suffix;
        std::string candidate = base;
        for (int n = 2; reserved_.count(Folded(candidate)) || taken_.count(Folded(candidate)); ++n)
            candidate = base + "~" + std::to_string(n);
        taken_.insert(Folded(candidate));
        given_.emplace(owner, candidate);
        return candidate;
    }

private:
    std::set<std::string> reserved_;  // every entry's own name, folded
    std::set<std::string> taken_;     // the names given out instead, folded
    std::map<std::string, std::string> firstOwner_;
    std::map<std::string, std::string> given_;
};

std::string Stem(const std::string& record)
{
    return record.size() >= 4 ? record.substr(0, record.size() - 4) : record;
}

}  // namespace

std::vector<OutputName> ExportOutputNames(const std::vector<ExportEntry>& entries, const std::string& format)
{
    static const char* const kinds[] = {"drawings", "library"};
    const auto databaseKey = [](const ExportEntry& e) { return std::to_string(e.kind) + '/' + e.database; };

    NameSpace folders;
    for (const auto& e : entries)
        folders.Reserve(e.database);
    std::vector<OutputName> names;
    names.reserve(entries.size());
    for (const auto& e : entries) {
        const std::string suffix = std::string("~") + kinds[e.kind == 1 ? 1 : 0];
        names.push_back({folders.Claim(e.database, databaseKey(e), suffix), {}});
    }

    std::map<std::string, NameSpace> files;  // by the folded output folder
    for (std::size_t i = 0; i < entries.size(); ++i)
        files[Folded(names[i].folder)].Reserve(Stem(entries[i].record));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        NameSpace& space = files[Folded(names[i].folder)];
        const std::string stem = Stem(entries[i].record);
        names[i].file = space.Claim(stem, databaseKey(entries[i]) + '/' + entries[i].record, "") + "." + format;
    }
    return names;
}

std::string SafeFileName(const std::string& name, std::size_t maxBytes)
{
    std::string safe;
    safe.reserve(name.size());
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        safe += (c == '/' || u < 0x20 || u == 0x7F) ? '_' : c;
    }
    if (safe.find_first_not_of(". ") == std::string::npos)
        safe = "Drawing";
    if (safe.size() > maxBytes) {
        std::size_t end = maxBytes;
        // Back to the start of a UTF-8 sequence, so that no character is cut in two.
        while (end > 0 && (static_cast<unsigned char>(safe[end]) & 0xC0) == 0x80)
            --end;
        safe.resize(end);
    }
    return safe;
}

}  // namespace plotwick
