#pragma once
// A connect dialog over a private ports folder, with its message boxes recorded and answered.

#include "app/Newanemdlg.h"
#include "platform/MessageBox.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PortsFolder.h"

#include <QComboBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <vector>

namespace vx::test {

class Host : public ConnectDialogHost {
public:
    int MessageTypeIndex() const override { return storedFormat; }
    bool IsPortInUse(int comNumber) const override { return held.count(comNumber) != 0; }
    int storedFormat = 1;
    std::set<int> held;
};

class ConnectDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(ports_.Path().empty());
        previousHook_ = SetMessageBoxHook([this](const MessageRequest& request) {
            boxes_.push_back(request);
            return MessageResult::Ok;
        });
    }
    void TearDown() override {
        dialog_.reset();
        SetMessageBoxHook(previousHook_);
    }

    TfrmNewAnem& Dialog() {
        if (!dialog_) {
            dialog_ = std::make_unique<TfrmNewAnem>(host_);
        }
        return *dialog_;
    }

    template <typename T>
    T* Child(const char* name) {
        T* child = Dialog().findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }

    // Shows the dialog modally and runs `whileShown` inside its loop; the dialog's result.
    // `whileShown` must end the dialog.
    bool ShowModal(std::function<void()> whileShown) {
        QTimer::singleShot(0, &Dialog(), [this, whileShown] {
            whileShown();
            if (Dialog().isVisible()) {
                ADD_FAILURE() << "the dialog was left open";
                Dialog().reject();
            }
        });
        return Dialog().ShowConnectDialog();
    }

    void SetPortText(const char* text) { Child<QComboBox>("cbPort")->setEditText(text); }

    PortsFolder ports_{PortsFolder::Numbers::Absent};
    Host host_;
    std::unique_ptr<TfrmNewAnem> dialog_;
    MessageBoxHook previousHook_;
    std::vector<MessageRequest> boxes_;
};

}  // namespace vx::test
