#pragma once
// The PY272e's reshaping of gamma tables before they go to the device: grey scans through a
// colour filter get a curve stretched to a highlight level and lifted by a brightness.
#include <vantrel/scan_parameters.h>

#include <cstdint>

// dst[i] = src[map[i]], the map stretching shadow..highlight over 0..255 (with a margin), then
// adding the brightness and applying the gamma. Highlight at or below shadow leaves the curve.
void MakeSpecialGamma(const uint8_t* src, uint8_t* dst, double gamma, int brightness, int margin,
                      int highlight, int shadow);

// Reshapes a table of 256 two-byte entries (the curve in the second byte of each) in place for
// the record's mode and colour filter; tables shorter than 512 bytes stay as they are.
void AdjustSendingGammaTablePY272e(uint8_t* table, uint8_t channel, uint32_t length,
                                   const SCANPARAMETER_UNION* param);
