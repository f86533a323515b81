// Lossless-mode (ITU-T T.81 Annex H) sample reconstruction, one row at a time.
//
// Differences are the decoded 16-bit values (their sign is irrelevant: every
// sum is taken modulo 2^16); samples are unsigned 16-bit. Checks run before
// any work: a null pointer gives StatusNullPointer, a width below 1
// StatusSizeError, a bad precision, point transform or predictor
// StatusBadArgument; a failing call writes nothing.
#pragma once
#include <cstdint>

#include "primitives/status.h"

namespace vv {

// First row of a scan (and of each restart interval): the first sample is
// predicted by 2^(precision - pointTransform - 1), each later one by its left
// neighbour. precision is P (2..16); pointTransform is Pt, 0 <= Pt < P (a
// point transform that leaves no bit at all is rejected as well).
// dst may be the same memory as diff.
int32_t LosslessReconstructFirstRow(const int16_t* diff, uint16_t* dst, int32_t width,
                                    int32_t precision, int32_t pointTransform);

// Any later row: the first sample is predicted by the sample above, the
// others by `predictor` 1..7 of Table H.1 (Ra left, Rb above, Rc above-left):
//   1 Ra, 2 Rb, 3 Rc, 4 Ra + Rb - Rc, 5 Ra + ((Rb - Rc) >> 1),
//   6 Rb + ((Ra - Rc) >> 1), 7 (Ra + Rb) >> 1.
// Samples enter the predictor as signed 16-bit values and the shifts are
// arithmetic; the prediction plus the difference is stored modulo 2^16. For
// precisions up to 15 no sample reaches 2^15, so this is Table H.1 exactly.
// above is the reconstructed row above; dst may be the same memory as
// above or diff (each input sample is read before its position is written).
int32_t LosslessReconstructRow(const int16_t* diff, const uint16_t* above, uint16_t* dst,
                               int32_t width, int32_t predictor);

}  // namespace vv
