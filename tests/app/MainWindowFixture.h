#pragma once
// A main window created over a private settings folder, with message boxes recorded and stand-in
// connection windows added on request.

#include "app/Main.h"
#include "app/MdiFrame.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/TempConfig.h"

#include <QAction>
#include <QMdiSubWindow>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

namespace vx::test {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override { CreateWindow(); }

    void CreateWindow() {
        parent_.reset();
        parent_ = std::make_unique<Tparent>();
    }

    QAction* Item(const char* name) const {
        auto* item = parent_->findChild<QAction*>(QString::fromLatin1(name));
        EXPECT_NE(item, nullptr) << name;
        return item;
    }

    void Choose(const char* name) { Item(name)->trigger(); }

    RecordingConnection* AddConnection(const std::string& name, int comNumber = 1) {
        auto* connection = new RecordingConnection(name, comNumber, log_);
        QMdiSubWindow* window = parent_->Frame().addSubWindow(connection);
        window->show();
        return connection;
    }

    QStringList YScaleCaptions() const {
        QStringList captions;
        for (const char* name : {"Y1scale1", "Y2scale1", "Y3scale1", "Y4scale1"}) {
            captions << Item(name)->text();
        }
        return captions;
    }

    TempConfig config_;
    CallLog log_;
    MessageBoxRecorder boxes_;
    std::unique_ptr<Tparent> parent_;
};

}  // namespace vx::test
