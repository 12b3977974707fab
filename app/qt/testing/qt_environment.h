// QtEnvironment: the application object that the window tests share, made
// once before the first test on Qt's offscreen platform (unless the caller
// chose another platform) and destroyed after the last.
#pragma once

#include <gtest/gtest.h>

#include <QtGlobal>
#include <memory>
#include <string>

#include "app/qt/application.h"

namespace sorabeku {

class QtEnvironment : public ::testing::Environment {
 public:
  explicit QtEnvironment(std::string programName) : name_(std::move(programName)) {}

  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
      qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    argv_[0] = name_.data();
    app_ = std::make_unique<SorabekuApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::string name_;
  int argc_ = 1;
  char* argv_[2] = {nullptr, nullptr};
  std::unique_ptr<SorabekuApplication> app_;
};

}  // namespace sorabeku
