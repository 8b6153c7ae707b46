#pragma once
// The local channel between an Image Capture host and the module program: property-list
// dictionaries, each sent as a 4-byte big-endian length and a binary property list, over a
// stream socket the host makes (a socket pair) and hands to the module as descriptor
// $ICA_CHANNEL_FD.
//
// Messages ("type"):
//   host -> module  "request"       {id, call, ...arguments}   one callback each (Framework.h)
//                   "reply"         {id, code}                  the host's answer to a notification
//                   "quit"          {}                          ends ICD_ScannerMain
//   module -> host  "response"      {id, result, ...outputs}
//                   "notification"  {id, wait, notification}    wait: the module waits for a reply
#include <cstddef>
#include <mutex>

#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Result.h"

namespace ica {

inline constexpr const char* kChannelFdVariable = "ICA_CHANNEL_FD";
// A larger message is refused (a band of a page is well below it).
inline constexpr std::size_t kMaxChannelMessageBytes = 64u << 20;

// Message keys and types.
inline constexpr const char* kMsgType = "type";
inline constexpr const char* kMsgId = "id";
inline constexpr const char* kMsgCall = "call";
inline constexpr const char* kMsgResult = "result";
inline constexpr const char* kMsgCode = "code";
inline constexpr const char* kMsgWait = "wait";
inline constexpr const char* kMsgNotification = "notification";
inline constexpr const char* kTypeRequest = "request";
inline constexpr const char* kTypeResponse = "response";
inline constexpr const char* kTypeReply = "reply";
inline constexpr const char* kTypeQuit = "quit";
inline constexpr const char* kTypeNotification = "notification";

class Channel {
 public:
  explicit Channel(int fd);  // takes the descriptor over
  ~Channel();
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  // Whole messages only; safe from several threads at once.
  foundation::Status send(const foundation::Dictionary& message);
  // Blocks for the next message; fails when the peer closed the channel ("closed") or sent
  // something that is not a message. One reader at a time.
  foundation::Result<foundation::Dictionary> receive();
  // Ends a blocked receive and every later send and receive.
  void shutdown();

 private:
  int fd_;
  std::mutex sendMutex_;
};

}  // namespace ica
