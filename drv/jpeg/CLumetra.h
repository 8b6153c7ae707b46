#pragma once
// The driver's wrapper of its image library. So far it holds the library's start, end and
// debug settings; the coding operations are added with the codec.
#include <cstdint>

class CLumetra {
 public:
  CLumetra() = default;
  ~CLumetra();
  CLumetra(const CLumetra&) = delete;
  CLumetra& operator=(const CLumetra&) = delete;

  bool Initialize();
  // Ends the library once for this wrapper; later calls do nothing.
  void Terminate();

 private:
  bool m_started = false;
};

// The image library's own entry points.
namespace lumetra {
long InitializeLib();
long TerminateLib();
// Keeps the level and the folder for the library's log and dumps; with a non-zero level it
// creates the folder (mode 0777; an existing folder is no error).
long SetDebugMode(uint32_t debugLevel, const char* folder);
// The folder as kept, with its trailing "/".
const char* DebugFolder();
uint32_t DebugLevel();
// How many starts are not yet ended.
int StartCount();
// Test hook: makes the next InitializeLib calls fail with the code (0 to stop).
void InjectInitializeFailure(long code);
}  // namespace lumetra
