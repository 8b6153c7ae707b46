#pragma once
// The transfer tests' source with the session's factory and the Qt adapter in its bundle: a batch
// shows its windows for real where a display (offscreen) can be reached.
#include <filesystem>
#include <string>
#include <vector>

#include "TransferSupport.h"
#include "ds/twain/SessionDialog.h"
#include "ds/twain/TezFRLDialogBox.h"
#include "platform/ui/Headless.h"
#include "platform/ui/Host.h"
#include "platform/ui/Scripted.h"
#include "tests/support/ThreadsGoneAtExit.h"

namespace dstest {

class WindowedTransferTest : public TransferTest {
 protected:
  void SetUp() override {
    TransferTest::SetUp();
    std::filesystem::create_symlink(VT_QT_ADAPTER, bundle_ / "Resources" / ui::kQtToolkitLibrary);
    factory_.answerAlertsWith(&alerts_);
    ferrolite::replaceDSFactory(&factory_);
  }
  void TearDown() override {
    TransferTest::TearDown();
    ferrolite::replaceDSFactory(nullptr);
    ui::headless::Journal::shared().reset();
  }
  // The texts the journal recorded for one call on the data source's windows, in order.
  static std::vector<std::string> journalTexts(const std::string& call) {
    std::vector<std::string> texts;
    for (const auto& e : ui::headless::Journal::shared().entries()) {
      if (e.window == ferrolite::kDialogBoxName && e.call == call) texts.push_back(e.text);
    }
    return texts;
  }

  ferrolite::SessionFactory factory_;
  ui::ScriptedAlerts alerts_;
};

}  // namespace dstest
