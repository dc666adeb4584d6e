// The "Select user" dialog: one drop-down list of the HotSync users and "Ok".
#pragma once

#include <cstdint>

#include <QDialog>

#include "platform/userdata/UserData.h"

class QComboBox;
class QPushButton;

namespace plotwick::app {

class TselUserForm : public QDialog {
    Q_OBJECT
public:
    explicit TselUserForm(QWidget* parent = nullptr);

    // Inputs, set before FormShow.
    userdata::IPDUserData* FUserData = nullptr;
    userdata::UserIDArray FUserIDs;
    std::int32_t FUserID = -1;

    // Fills cbUsers with the users' names in the ID list's order and selects the current user,
    // or the first entry when the current user is not listed. A failing name request is
    // raised to the caller, before the dialog shows.
    void FormShow();

    // The chosen user ID once the dialog was accepted.
    std::int32_t Result() const { return result_; }
    // True when the list offers nothing to choose.
    bool Empty() const;

    QComboBox* cbUsers;
    QPushButton* butOk;

public slots:
    // Without a user to choose, or when the current user is listed (nothing would change),
    // the dialog may be closed without a choice; otherwise a user must be picked.
    void reject() override;

private:
    void butOkClick();

    std::int32_t result_ = -1;
    bool currentListed_ = false;
};

}  // namespace plotwick::app
