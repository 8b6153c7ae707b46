#pragma once
// The driver's object face of its image library. One instance lives from the driver's start to
// its end (pLumetra); the scan engine's JPEG decode and encode threads call the coding
// operations at the same time, each on its own image, so the wrapper takes no lock.
#include <vantrel/nidata.h>

#include <cstdint>

class CLumetra {
 public:
  CLumetra() = default;
  ~CLumetra();
  CLumetra(const CLumetra&) = delete;
  CLumetra& operator=(const CLumetra&) = delete;

  // Starts the library and hands it the driver's debug level and folder; false on failure.
  bool Initialize();
  // Ends the library once for this wrapper's start; later calls do nothing.
  void Terminate();

  // Decodes the next strip of a JPEG page (no source: closes the page's decoding run).
  long Lumetra_JpegDecoder(void* pSrc, void** ppDes, NIDATA* pNi, uint64_t* pulJpegSize,
                           long* pStatus);
  // The strip-fed crop context: raw or JPEG strips in, JPEG (or raw) strips out. An output call
  // that leaves strips behind answers Msg 0 with Status -1036; the last one Status 0.
  long Lumetra_JpegCrop(void* pSrc, void** ppDes, NIDATA* pNi, uint64_t* pulDesJFIFSize,
                        long* pStatus, uint64_t ulSrcJFIFSize, long* plDesStripHeight);
  // Gives back a block that the library handed out.
  long Lumetra_JFreeMemory(void* p);

 private:
  bool m_started = false;
};
