// Real scanners through libusb-1.0. Every transfer is asynchronous underneath so that
// AbortPipe can end a transfer that another thread is waiting on (a pending button read).
#include "platform/usb/LibusbBackend.h"

#include <libusb.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <list>
#include <mutex>
#include <set>
#include <vector>

#include "platform/usb/UsbRegistry.h"

namespace usbhost::libusb {

UsbStatus MapError(int e) {
  if (e >= 0) return kUsbSuccess;
  switch (e) {
    case LIBUSB_ERROR_IO:
      return kUsbIoError;
    case LIBUSB_ERROR_INVALID_PARAM:
      return kUsbBadArgument;
    case LIBUSB_ERROR_ACCESS:
      return kUsbNotPermitted;
    case LIBUSB_ERROR_NO_DEVICE:
      return kUsbNoDevice;
    case LIBUSB_ERROR_NOT_FOUND:
      return kUsbNotFound;
    case LIBUSB_ERROR_BUSY:
      return kUsbExclusiveAccess;
    case LIBUSB_ERROR_TIMEOUT:
      return kUsbTimeout;
    case LIBUSB_ERROR_OVERFLOW:
      return kUsbOverrun;
    case LIBUSB_ERROR_PIPE:
      return kUsbPipeStalled;
    case LIBUSB_ERROR_INTERRUPTED:
      return kUsbAborted;
    case LIBUSB_ERROR_NO_MEM:
      return kUsbNoMemory;
    case LIBUSB_ERROR_NOT_SUPPORTED:
      return kUsbUnsupported;
    default:
      return kUsbError;
  }
}

UsbStatus MapTransferStatus(int s) {
  switch (s) {
    case LIBUSB_TRANSFER_COMPLETED:
      return kUsbSuccess;
    case LIBUSB_TRANSFER_ERROR:
      return kUsbIoError;
    case LIBUSB_TRANSFER_TIMED_OUT:
      return kUsbTimeout;
    case LIBUSB_TRANSFER_CANCELLED:
      return kUsbAborted;
    case LIBUSB_TRANSFER_STALL:
      return kUsbPipeStalled;
    case LIBUSB_TRANSFER_NO_DEVICE:
      return kUsbNoDevice;
    case LIBUSB_TRANSFER_OVERFLOW:
      return kUsbOverrun;
    default:
      return kUsbError;
  }
}

Speed MapSpeed(int s) {
  switch (s) {
    case LIBUSB_SPEED_LOW:
      return Speed::Low;
    case LIBUSB_SPEED_FULL:
      return Speed::Full;
    case LIBUSB_SPEED_HIGH:
      return Speed::High;
    case LIBUSB_SPEED_SUPER:
    case LIBUSB_SPEED_SUPER_PLUS:
      return Speed::Super;
    default:
      return Speed::Unknown;
  }
}

namespace {

class Context {
 public:
  explicit Context(libusb_context* c) : ctx_(c) {}
  ~Context() { libusb_exit(ctx_); }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;
  libusb_context* get() const { return ctx_; }

 private:
  libusb_context* ctx_;
};

// Devices this process holds open: libusb on Linux does not refuse a second open, the platform
// we stand in for does.
std::mutex gOpenMutex;
std::set<uint32_t> gOpenDevices;

uint32_t DeviceKey(libusb_device* dev) {
  return (uint32_t(libusb_get_bus_number(dev)) << 8) | libusb_get_device_address(dev);
}

void LIBUSB_CALL TransferDone(libusb_transfer* t) { *static_cast<int*>(t->user_data) = 1; }

// One opened device handle, shared by the device object and its interface objects.
class Handle {
 public:
  Handle(std::shared_ptr<Context> ctx, libusb_device_handle* h) : ctx_(std::move(ctx)), h_(h) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  libusb_device_handle* get() {
    std::lock_guard lock(m_);
    return h_;
  }
  void Close() {
    libusb_device_handle* h;
    {
      std::lock_guard lock(m_);
      h = h_;
      h_ = nullptr;
    }
    if (h) libusb_close(h);
  }

  // One transfer, waited for; endpoint 0 with a setup packet for control transfers. `open` is
  // the interface's open flag: read and written only under this handle's lock, so a transfer
  // either starts before Shut (and Shut aborts it) or sees the interface closed.
  UsbStatus Transfer(const bool* open, uint8_t type, uint8_t endpoint, uint8_t* data,
                     uint32_t length, unsigned timeoutMs, uint32_t* actual) {
    if (actual) *actual = 0;
    libusb_transfer* t = libusb_alloc_transfer(0);
    if (!t) return kUsbNoMemory;
    int completed = 0;
    Pending p{t, endpoint};
    {
      std::lock_guard lock(m_);
      if (!h_ || !*open) {
        libusb_free_transfer(t);
        return kUsbNotOpen;
      }
      switch (type) {
        case LIBUSB_TRANSFER_TYPE_CONTROL:
          libusb_fill_control_transfer(t, h_, data, TransferDone, &completed, timeoutMs);
          break;
        case LIBUSB_TRANSFER_TYPE_INTERRUPT:
          libusb_fill_interrupt_transfer(t, h_, endpoint, data, int(length), TransferDone,
                                         &completed, timeoutMs);
          break;
        default:
          libusb_fill_bulk_transfer(t, h_, endpoint, data, int(length), TransferDone, &completed,
                                    timeoutMs);
          break;
      }
      pending_.push_back(&p);
    }
    int rc = libusb_submit_transfer(t);
    {
      std::lock_guard lock(m_);
      if (rc != 0) {
        pending_.remove(&p);
        libusb_free_transfer(t);
        return MapError(rc);
      }
      p.submitted = true;
      if (p.aborted) libusb_cancel_transfer(t);  // the abort came before the submission
    }
    while (!completed) {
      int r = libusb_handle_events_completed(ctx_->get(), &completed);
      if (r < 0 && r != LIBUSB_ERROR_INTERRUPTED) libusb_cancel_transfer(t);
    }
    UsbStatus result = MapTransferStatus(t->status);
    if (actual) *actual = uint32_t(std::max(t->actual_length, 0));
    {
      std::lock_guard lock(m_);
      pending_.remove(&p);
    }
    libusb_free_transfer(t);
    return result;
  }

  void Abort(uint8_t endpoint) {
    std::lock_guard lock(m_);
    for (Pending* p : pending_)
      if (p->endpoint == endpoint) Cancel(p);
  }

  void SetOpen(bool* open, bool value) {
    std::lock_guard lock(m_);
    *open = value;
  }
  bool IsOpen(const bool* open) {
    std::lock_guard lock(m_);
    return *open;
  }
  // Closes an interface: what is pending ends with kUsbAborted, later transfers fail.
  void Shut(bool* open) {
    std::lock_guard lock(m_);
    *open = false;
    for (Pending* p : pending_) Cancel(p);
  }

 private:
  struct Pending {
    libusb_transfer* t;
    uint8_t endpoint;
    bool submitted = false;
    bool aborted = false;
  };
  // Under m_. A transfer not yet submitted is cancelled by its own thread right after.
  static void Cancel(Pending* p) {
    p->aborted = true;
    if (p->submitted) libusb_cancel_transfer(p->t);
  }
  std::shared_ptr<Context> ctx_;
  std::mutex m_;
  libusb_device_handle* h_;
  std::list<Pending*> pending_;
};

class Interface final : public UsbInterface {
 public:
  Interface(std::shared_ptr<Handle> handle, uint8_t number, std::vector<PipeProperties> pipes)
      : handle_(std::move(handle)), number_(number), pipes_(std::move(pipes)) {}
  ~Interface() override { Close(); }

  UsbStatus Open() override {
    libusb_device_handle* h = handle_->get();
    if (!h) return kUsbNotOpen;
    if (handle_->IsOpen(&open_)) return kUsbExclusiveAccess;
    UsbStatus rc = MapError(libusb_claim_interface(h, number_));
    if (rc == kUsbSuccess) handle_->SetOpen(&open_, true);
    return rc;
  }
  UsbStatus Close() override {
    if (!handle_->IsOpen(&open_)) return kUsbNotOpen;
    handle_->Shut(&open_);
    libusb_device_handle* h = handle_->get();
    return h ? MapError(libusb_release_interface(h, number_)) : kUsbSuccess;
  }
  UsbStatus GetNumEndpoints(uint8_t* count) override {
    *count = uint8_t(pipes_.size());
    return kUsbSuccess;
  }
  UsbStatus GetPipeProperties(uint8_t pipeRef, PipeProperties* props) override {
    if (pipeRef == 0 || pipeRef > pipes_.size()) return kUsbBadArgument;
    *props = pipes_[pipeRef - 1];
    return kUsbSuccess;
  }
  UsbStatus DeviceRequest(ControlRequest* r) override {
    r->wLenDone = 0;
    std::vector<uint8_t> buffer(LIBUSB_CONTROL_SETUP_SIZE + r->wLength);
    libusb_fill_control_setup(buffer.data(), r->bmRequestType, r->bRequest, r->wValue, r->wIndex,
                              r->wLength);
    bool in = (r->bmRequestType & LIBUSB_ENDPOINT_IN) != 0;
    if (!in && r->wLength)
      std::memcpy(buffer.data() + LIBUSB_CONTROL_SETUP_SIZE, r->data, r->wLength);
    uint32_t done = 0;
    UsbStatus rc = handle_->Transfer(&open_, LIBUSB_TRANSFER_TYPE_CONTROL, 0, buffer.data(),
                                     uint32_t(buffer.size()), timeoutMs_, &done);
    if (in && done) std::memcpy(r->data, buffer.data() + LIBUSB_CONTROL_SETUP_SIZE, done);
    r->wLenDone = done;
    return rc;
  }
  UsbStatus ReadPipe(uint8_t pipeRef, void* buffer, uint32_t* size) override {
    const PipeProperties* p = Pipe(pipeRef, Direction::In);
    if (!p) {
      *size = 0;
      return kUsbBadArgument;
    }
    uint8_t type = p->transferType == TransferType::Interrupt ? LIBUSB_TRANSFER_TYPE_INTERRUPT
                                                              : LIBUSB_TRANSFER_TYPE_BULK;
    return handle_->Transfer(&open_, type, Address(*p), static_cast<uint8_t*>(buffer), *size,
                             timeoutMs_, size);
  }
  UsbStatus WritePipe(uint8_t pipeRef, const void* buffer, uint32_t size) override {
    const PipeProperties* p = Pipe(pipeRef, Direction::Out);
    if (!p) return kUsbBadArgument;
    std::vector<uint8_t> copy(static_cast<const uint8_t*>(buffer),
                              static_cast<const uint8_t*>(buffer) + size);
    uint32_t done = 0;
    UsbStatus rc = handle_->Transfer(&open_, LIBUSB_TRANSFER_TYPE_BULK, Address(*p), copy.data(),
                                     size, timeoutMs_, &done);
    if (rc == kUsbSuccess && done != size) rc = kUsbUnderrun;
    return rc;
  }
  UsbStatus GetPipeStatus(uint8_t pipeRef) override {
    // A standard GET_STATUS: it fails with "no device" after an unplug and shows a halt.
    uint8_t recipient = LIBUSB_RECIPIENT_DEVICE;
    uint16_t index = 0;
    if (pipeRef != 0) {
      if (pipeRef > pipes_.size()) return kUsbBadArgument;
      recipient = LIBUSB_RECIPIENT_ENDPOINT;
      index = Address(pipes_[pipeRef - 1]);
    }
    uint8_t buffer[LIBUSB_CONTROL_SETUP_SIZE + 2] = {};
    libusb_fill_control_setup(buffer, LIBUSB_ENDPOINT_IN | recipient, LIBUSB_REQUEST_GET_STATUS, 0,
                              index, 2);
    uint32_t done = 0;
    UsbStatus rc = handle_->Transfer(&open_, LIBUSB_TRANSFER_TYPE_CONTROL, 0, buffer, sizeof buffer,
                                     TimeoutOr(1000), &done);
    if (rc != kUsbSuccess) return rc;
    if (pipeRef != 0 && done >= 1 && (buffer[LIBUSB_CONTROL_SETUP_SIZE] & 1))
      return kUsbPipeStalled;
    return kUsbSuccess;
  }
  UsbStatus ClearPipeStall(uint8_t pipeRef) override {
    if (pipeRef == 0 || pipeRef > pipes_.size()) return kUsbBadArgument;
    if (!handle_->IsOpen(&open_)) return kUsbNotOpen;
    libusb_device_handle* h = handle_->get();
    return h ? MapError(libusb_clear_halt(h, Address(pipes_[pipeRef - 1]))) : kUsbNotOpen;
  }
  UsbStatus AbortPipe(uint8_t pipeRef) override {
    if (pipeRef > pipes_.size()) return kUsbBadArgument;
    handle_->Abort(pipeRef == 0 ? 0 : Address(pipes_[pipeRef - 1]));
    return kUsbSuccess;
  }
  UsbStatus ReadInterruptPipe(uint8_t pipeRef, void* buffer, uint32_t* size) override {
    const PipeProperties* p = Pipe(pipeRef, Direction::In);
    if (!p || p->transferType != TransferType::Interrupt) {
      *size = 0;
      return kUsbBadArgument;
    }
    return handle_->Transfer(&open_, LIBUSB_TRANSFER_TYPE_INTERRUPT, Address(*p),
                             static_cast<uint8_t*>(buffer), *size, 0, size);
  }
  void SetTransferTimeout(uint32_t milliseconds) override { timeoutMs_ = milliseconds; }
  uint32_t TimeoutOr(uint32_t fallback) const {
    const uint32_t set = timeoutMs_;
    return set != 0 ? set : fallback;
  }

 private:
  const PipeProperties* Pipe(uint8_t pipeRef, Direction d) const {
    if (pipeRef == 0 || pipeRef > pipes_.size() || pipes_[pipeRef - 1].direction != d)
      return nullptr;
    return &pipes_[pipeRef - 1];
  }
  static uint8_t Address(const PipeProperties& p) {
    return uint8_t(p.number | (p.direction == Direction::In ? LIBUSB_ENDPOINT_IN : 0));
  }

  std::shared_ptr<Handle> handle_;
  uint8_t number_;
  std::vector<PipeProperties> pipes_;
  bool open_ = false;  // guarded by the handle's lock
  // Set by the job's thread while the button thread reads with it.
  std::atomic<uint32_t> timeoutMs_{0};
};

class Device final : public UsbDevice {
 public:
  Device(std::shared_ptr<Context> ctx, libusb_device* dev)
      : ctx_(std::move(ctx)), dev_(libusb_ref_device(dev)) {}
  ~Device() override {
    CloseDevice();
    libusb_unref_device(dev_);
  }

  UsbStatus GetDeviceVendor(uint16_t* vendor) override {
    libusb_device_descriptor d{};
    UsbStatus rc = MapError(libusb_get_device_descriptor(dev_, &d));
    *vendor = d.idVendor;
    return rc;
  }
  UsbStatus GetDeviceProduct(uint16_t* product) override {
    libusb_device_descriptor d{};
    UsbStatus rc = MapError(libusb_get_device_descriptor(dev_, &d));
    *product = d.idProduct;
    return rc;
  }
  UsbStatus GetDeviceSpeed(Speed* speed) override {
    *speed = MapSpeed(libusb_get_device_speed(dev_));
    return kUsbSuccess;
  }
  UsbStatus GetLocationID(uint32_t* location) override {
    uint8_t ports[7] = {};
    int depth = libusb_get_port_numbers(dev_, ports, int(sizeof ports));
    if (depth < 0) depth = 0;
    *location = LocationIDFromPath(libusb_get_bus_number(dev_), ports, depth);
    return kUsbSuccess;
  }
  UsbStatus GetNumberOfConfigurations(uint8_t* count) override {
    libusb_device_descriptor d{};
    UsbStatus rc = MapError(libusb_get_device_descriptor(dev_, &d));
    *count = d.bNumConfigurations;
    return rc;
  }
  UsbStatus GetConfigurationValue(uint8_t index, uint8_t* value) override {
    libusb_config_descriptor* c = nullptr;
    UsbStatus rc = MapError(libusb_get_config_descriptor(dev_, index, &c));
    if (rc != kUsbSuccess) return rc;
    *value = c->bConfigurationValue;
    libusb_free_config_descriptor(c);
    return kUsbSuccess;
  }
  UsbStatus OpenDevice() override {
    uint32_t key = DeviceKey(dev_);
    {
      std::lock_guard lock(gOpenMutex);
      if (handle_ || !gOpenDevices.insert(key).second) return kUsbExclusiveAccess;
    }
    libusb_device_handle* h = nullptr;
    int rc = libusb_open(dev_, &h);
    if (rc != 0) {
      std::lock_guard lock(gOpenMutex);
      gOpenDevices.erase(key);
      return MapError(rc);
    }
    libusb_set_auto_detach_kernel_driver(h, 1);  // a kernel driver gives the interface up on claim
    if (HeldElsewhere(h)) {
      libusb_close(h);
      std::lock_guard lock(gOpenMutex);
      gOpenDevices.erase(key);
      return kUsbExclusiveAccess;
    }
    handle_ = std::make_shared<Handle>(ctx_, h);
    return kUsbSuccess;
  }
  UsbStatus CloseDevice() override {
    if (!handle_) return kUsbNotOpen;
    handle_->Close();
    handle_.reset();
    std::lock_guard lock(gOpenMutex);
    gOpenDevices.erase(DeviceKey(dev_));
    return kUsbSuccess;
  }
  UsbStatus SetConfiguration(uint8_t value) override {
    libusb_device_handle* h = handle_ ? handle_->get() : nullptr;
    if (!h) return kUsbNotOpen;
    int current = -1;
    if (libusb_get_configuration(h, &current) == 0 && current == value) return kUsbSuccess;
    return MapError(libusb_set_configuration(h, value));
  }
  UsbStatus CreateInterface(std::unique_ptr<UsbInterface>* out) override {
    if (!handle_ || !handle_->get()) return kUsbNotOpen;
    libusb_config_descriptor* c = nullptr;
    UsbStatus rc = MapError(libusb_get_active_config_descriptor(dev_, &c));
    if (rc != kUsbSuccess) return rc;
    if (c->bNumInterfaces == 0 || c->interface[0].num_altsetting == 0) {
      libusb_free_config_descriptor(c);
      return kUsbNotFound;
    }
    const libusb_interface_descriptor& alt = c->interface[0].altsetting[0];
    std::vector<PipeProperties> pipes;
    for (int i = 0; i < alt.bNumEndpoints; ++i) {
      const libusb_endpoint_descriptor& e = alt.endpoint[i];
      PipeProperties p;
      p.direction = (e.bEndpointAddress & LIBUSB_ENDPOINT_IN) ? Direction::In : Direction::Out;
      p.number = e.bEndpointAddress & 0x0F;
      p.transferType = TransferType(e.bmAttributes & 0x03);
      p.maxPacketSize = e.wMaxPacketSize;
      p.interval = e.bInterval;
      pipes.push_back(p);
    }
    *out = std::make_unique<Interface>(handle_, alt.bInterfaceNumber, std::move(pipes));
    libusb_free_config_descriptor(c);
    return kUsbSuccess;
  }
  UsbStatus ResetDevice() override {
    libusb_device_handle* h = handle_ ? handle_->get() : nullptr;
    if (!h) return kUsbNotOpen;
    return MapError(libusb_reset_device(h));
  }

 private:
  // Linux lets several processes open a device; another program holding it shows as a busy
  // first interface. Probed once at open so that the open itself is exclusive.
  bool HeldElsewhere(libusb_device_handle* h) {
    libusb_config_descriptor* c = nullptr;
    if (libusb_get_active_config_descriptor(dev_, &c) != 0) return false;  // unconfigured: free
    int number = c->bNumInterfaces && c->interface[0].num_altsetting
                     ? c->interface[0].altsetting[0].bInterfaceNumber
                     : -1;
    libusb_free_config_descriptor(c);
    if (number < 0) return false;
    int rc = libusb_claim_interface(h, number);
    if (rc == 0) libusb_release_interface(h, number);
    return rc == LIBUSB_ERROR_BUSY;
  }

  std::shared_ptr<Context> ctx_;
  libusb_device* dev_;
  std::shared_ptr<Handle> handle_;
};

class LibusbBus final : public UsbBus {
 public:
  UsbStatus FindDevices(uint16_t vendor, uint16_t product,
                        std::vector<std::unique_ptr<UsbDevice>>* out) override {
    out->clear();
    std::shared_ptr<Context> ctx;
    {
      std::lock_guard lock(m_);
      if (!ctx_) {
        libusb_context* c = nullptr;
        int rc = libusb_init(&c);
        if (rc != 0) return MapError(rc);
        ctx_ = std::make_shared<Context>(c);
      }
      ctx = ctx_;
    }
    libusb_device** list = nullptr;
    ssize_t n = libusb_get_device_list(ctx->get(), &list);
    if (n < 0) return MapError(int(n));
    for (ssize_t i = 0; i < n; ++i) {
      libusb_device_descriptor d{};
      if (libusb_get_device_descriptor(list[i], &d) != 0) continue;
      if (!MatchesIds(vendor, product, d.idVendor, d.idProduct)) continue;
      out->push_back(std::make_unique<Device>(ctx, list[i]));
    }
    libusb_free_device_list(list, 1);
    return kUsbSuccess;
  }
  // libusb_exit (which joins libusb's event thread) runs when the last device object lets go of
  // the context too.
  void Release() override {
    std::lock_guard lock(m_);
    ctx_.reset();
  }

 private:
  std::mutex m_;
  std::shared_ptr<Context> ctx_;
};

}  // namespace

UsbBus& Bus() {
  // Lives for the whole process: device objects may outlast any scope that asked for it.
  static LibusbBus* bus = new LibusbBus;
  return *bus;
}

}  // namespace usbhost::libusb
