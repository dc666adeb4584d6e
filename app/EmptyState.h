// What the drawing list shows while there is nothing to list: why, what a user folder looks
// like, and a button to open one.
#pragma once

#include <QFrame>

class QLabel;
class QPushButton;

namespace plotwick::app {

class TEmptyState : public QFrame {
    Q_OBJECT
public:
    explicit TEmptyState(QWidget* parent = nullptr);
    // The first line says why nothing is shown; the explanation below it stays the same.
    void setHeadline(const QString& headline);
    QString headline() const;
    QString explanation() const;

    QPushButton* butOpenFolder;

private:
    QLabel* headline_;
    QLabel* explanation_;
};

}  // namespace plotwick::app
