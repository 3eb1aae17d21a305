// The navigation-radio link: sentences "$PMRRV" + two-character message id +
// data + two hexadecimal checksum characters + CR LF, the checksum being the
// 8-bit sum of the id and data characters.
#pragma once
#include <cstdint>

constexpr int32_t kVorHeaderChars = 6;   // "$PMRRV" or "$PMRRC"

// 1 when the sentence's checksum characters agree with its contents, else 0.
int32_t CalcNmeaVorCrc(const uint8_t* msg, int32_t length);

// Sends a course (whole degrees) to the navigation radio on the slot's port.
void SendNavObs(int32_t slot, int32_t course);
