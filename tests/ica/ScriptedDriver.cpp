// The scripted driver library (ScriptedDriver.h): the exports the module binds, each recording
// its call and answering from the script.
#include "ScriptedDriver.h"

#include <cstring>
#include <mutex>
#include <thread>

#include "vantrel/kr_api.h"

namespace scripted {
namespace {

constexpr uint32_t kErrorCount = 0xFFFFFFFF;
constexpr uint32_t kHandle = 1;

struct State {
  std::mutex mutex;
  Script script;
  std::vector<std::string> calls;
  std::vector<long> results;
  SCANPARAMETER_UNION parameter{};
  std::thread delivery;
};
State& state() {
  static State s;
  return s;
}

void record(const std::string& call) {
  std::lock_guard lock(state().mutex);
  state().calls.push_back(call);
}

void joinDelivery() {
  std::thread running;
  {
    std::lock_guard lock(state().mutex);
    running = std::move(state().delivery);
  }
  if (running.joinable()) running.join();
}

void deliver(AP_CALLBACK callback, uint32_t ctrlId, uint32_t* handle, Delivery delivery,
             SCANPARAMETER_UNION parameter) {
  for (Callback& call : delivery) {
    if (call.wholePage) call.data = pagePattern(parameter);
    STATUSLIST list{};
    list.Version = 200;
    list.Size = sizeof list;
    list.Status[0] = call.status0;
    list.Status[1] = call.status1;
    const uint32_t size = call.errorCount ? kErrorCount : uint32_t(call.data.size());
    uint8_t* data = call.nullData ? nullptr : call.data.data();
    const long result = callback(ctrlId, handle, data, size, 0, 0, &list);
    {
      std::lock_guard lock(state().mutex);
      state().results.push_back(result);
    }
    if (result != 0) return;
  }
}

}  // namespace

DeviceAbility feederAbility() {
  DeviceAbility a{};
  a.Version = 200;
  a.Size = sizeof a;
  a.BaseRes = 300;
  a.OpticalRes = 300;
  a.ADFMaxWidth = 2480;
  a.ADFMaxLength = 3508;
  a.DeviceType = 0x64;
  a.ScanMethod = 0x40;
  a.MinimumRes = 100;
  a.LineartPixelBound = a.GrayPixelBound = a.ColorPixelBound = 1;
  a.FrontADFBackground_R = a.FrontADFBackground_G = a.FrontADFBackground_B = 40;
  static char model[] = "SCRIPTED";
  a.pModelName = model;
  return a;
}

void reset(const Script& script) {
  joinDelivery();
  std::lock_guard lock(state().mutex);
  state().script = script;
  state().calls.clear();
  state().results.clear();
}

std::vector<std::string> calls() {
  std::lock_guard lock(state().mutex);
  return state().calls;
}

std::vector<long> callbackResults() {
  std::lock_guard lock(state().mutex);
  return state().results;
}

SCANPARAMETER_UNION lastParameter() {
  std::lock_guard lock(state().mutex);
  return state().parameter;
}

std::vector<uint8_t> pagePattern(const SCANPARAMETER_UNION& p) {
  std::vector<uint8_t> page(std::size_t(p.BytesPerLine) * p.LineNum);
  for (uint32_t row = 0; row < p.LineNum; ++row)
    for (uint32_t column = 0; column < p.BytesPerLine; ++column)
      page[std::size_t(row) * p.BytesPerLine + column] = uint8_t(row * 3 + column);
  return page;
}

}  // namespace scripted

using namespace scripted;

long KRInitializeDriver(uint32_t) {
  record("KRInitializeDriver");
  return 0;
}
long KRTerminateDriver(uint32_t) {
  record("KRTerminateDriver");
  return 0;
}
long KRInitializeDevice(uint32_t, char*, uint32_t* handle) {
  record("KRInitializeDevice");
  *handle = kHandle;
  return 0;
}
long KRTerminateDevice(uint32_t, uint32_t*) {
  record("KRTerminateDevice");
  return 0;
}
long KRGetDeviceAbility(uint32_t, uint32_t*, DeviceAbility** ability) {
  record("KRGetDeviceAbility");
  std::lock_guard lock(state().mutex);
  *ability = &state().script.ability;
  return 0;
}
long KRMemFree(uint32_t, void*) { return 0; }  // the record is the script's
long KRStartJob(uint32_t, uint32_t*) {
  record("KRStartJob");
  return 0;
}
long KRStopJob(uint32_t, uint32_t*) {
  joinDelivery();
  record("KRStopJob");
  return 0;
}
long KRSensorStatus(uint32_t, uint32_t*, long*, uint8_t* status, int) {
  record("KRSensorStatus");
  std::lock_guard lock(state().mutex);
  auto& paper = state().script.paper;
  *status = paper.empty() ? 1 : paper.front();
  if (!paper.empty()) paper.pop_front();
  return 0;
}
long KRSetParameter(uint32_t, uint32_t*, SCANPARAMETER_UNION* param) {
  record("KRSetParameter");
  std::lock_guard lock(state().mutex);
  state().parameter = *param;
  auto& results = state().script.setParameter;
  const long r = results.empty() ? 0 : results.front();
  if (!results.empty()) results.pop_front();
  return r;
}
long KRSetHWProcess(uint32_t, uint32_t*, HWIMAGEPROCPARAMETER_UNION*, int) {
  record("KRSetHWProcess");
  return 0;
}
long KRSetGamma(uint32_t, uint32_t*, uint8_t*, uint32_t, uint32_t, uint32_t filter, uint32_t) {
  record("KRSetGamma(" + std::to_string(filter) + ")");
  return 0;
}
long KRStartScan(uint32_t ctrlId, uint32_t* handle, AP_CALLBACK callback, long) {
  joinDelivery();
  record("KRStartScan");
  std::lock_guard lock(state().mutex);
  auto& results = state().script.startScan;
  const long r = results.empty() ? 0 : results.front();
  if (!results.empty()) results.pop_front();
  if (r != 0 && r != -2022 && r != -2038) return r;
  auto& deliveries = state().script.deliveries;
  Delivery delivery;
  if (deliveries.empty()) {
    delivery.push_back(Callback{{}, -2022});
  } else {
    delivery = std::move(deliveries.front());
    deliveries.pop_front();
  }
  state().delivery =
      std::thread(deliver, callback, ctrlId, handle, std::move(delivery), state().parameter);
  return r;
}
long KRStopScan(uint32_t, uint32_t*, long cancel) {
  joinDelivery();
  record("KRStopScan(" + std::to_string(cancel) + ")");
  std::lock_guard lock(state().mutex);
  auto& results = state().script.stopScan;
  const long r = results.empty() ? 0 : results.front();
  if (!results.empty()) results.pop_front();
  return r;
}
long KRRequestImageInfo(uint32_t, uint32_t*, void**) {
  record("KRRequestImageInfo");
  return 0;
}
long KRGeneralOperation(uint32_t, uint32_t*, int, uint32_t, DDS_DATA_TYPE, uint32_t, void*) {
  record("KRGeneralOperation");
  return -1;
}
long KRReadPushButton(uint32_t, uint32_t*, void**) {
  record("KRReadPushButton");
  return -1;
}
