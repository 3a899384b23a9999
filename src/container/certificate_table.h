// Finding the data of the first WIN_CERTIFICATE entry of a PE32+ image: the
// signed message whose certificates may carry tag blobs.
#pragma once

#include <cstdint>

// True when the image is a PE32+ file whose certificate table lies inside it
// and whose first entry's dwLength fits that table; `data` then points at the
// entry's certificate data (dwLength - 8 bytes). Every other image, however
// malformed, gives false without a byte outside the image being read.
bool FindCertificateData(const uint8_t* image, uint32_t size, const uint8_t** data, uint32_t* dataLength);
