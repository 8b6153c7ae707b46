#include "ds/dialog/Bridge.h"

#include <memory>
#include <mutex>

namespace ferrolite::dialog {

namespace {
std::mutex gInstanceLock;
std::unique_ptr<BridgeObject_V2> gInstance;
}  // namespace

BridgeObject_V2& BridgeObject_V2::instance() {
  std::lock_guard<std::mutex> lock(gInstanceLock);
  if (!gInstance) gInstance = std::make_unique<BridgeObject_V2>();
  return *gInstance;
}

void BridgeObject_V2::releaseInstance() {
  std::lock_guard<std::mutex> lock(gInstanceLock);
  gInstance.reset();
}

}  // namespace ferrolite::dialog
