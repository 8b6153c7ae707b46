#pragma once
// The source's messages to the application (MSG_XFERREADY, MSG_CLOSEDSREQ, MSG_CLOSEDSOK) leave
// only while no call of the application is inside the source: the manager calls the
// application's callback at once, and an application called back from inside its own
// MSG_ENABLEDS or MSG_ENDXFER (or from the dialog's UI thread while it calls us) sees a message
// for a state it has not reached yet.
//
// A message posted while a call is inside is held and sent from a short-lived delivery thread once
// the last call has left (a task on a host's own event loop could run after the module is
// unloaded, so the source keeps the sending on a thread it joins). The next call of the
// application waits (bounded) until what was posted before it has been sent, so messages and
// calls keep their order.
//
//   MessagePoster poster([](TW_UINT16 m) { return send(m); });
//   { MessagePoster::Call inside(poster); ...; poster.post(MSG_XFERREADY); }  // sent after this
//   poster.stop();  // at the close: what is still held is dropped, the thread joined
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/twain/Twain.h"

namespace ferrolite {

class MessagePoster {
 public:
  // Sends one message to the application (through the manager) and answers its return code.
  using Send = std::function<TW_UINT16(TW_UINT16 message)>;

  // How long a call of the application waits for the messages posted before it.
  static constexpr std::chrono::seconds kOrderPatience{10};

  explicit MessagePoster(Send send);
  ~MessagePoster();
  MessagePoster(const MessagePoster&) = delete;
  MessagePoster& operator=(const MessagePoster&) = delete;

  // One call of the application inside the source, for its whole length.
  class Call {
   public:
    explicit Call(MessagePoster& poster) : poster_(poster) { poster_.enter(); }
    ~Call() { poster_.leave(); }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

   private:
    MessagePoster& poster_;
  };

  // Any thread. Sent from the delivery thread once no call is inside.
  void post(TW_UINT16 message);

  // Drops what is held and joins the delivery thread; later posts start afresh.
  void stop();

  // Messages held or being sent.
  std::size_t pending() const;
  // Waits until nothing is held or being sent and the delivery thread has ended; false when
  // `patience` passed first.
  bool waitUntilSent(std::chrono::milliseconds patience);

 private:
  void enter();
  void leave();
  // With mutex_ held: a delivery thread for what is held, when none runs.
  void startThreadLocked();
  // With mutex_ held: joins a delivery thread that has left its loop.
  void joinEndedLocked();
  void threadMain();

  Send send_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<TW_UINT16> held_;
  int inside_ = 0;          // calls of the application inside the source
  bool sending_ = false;    // a message is with the application now
  std::thread::id sender_;  // the thread that sends it (its callback may call us again)
  bool threadRunning_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace ferrolite
