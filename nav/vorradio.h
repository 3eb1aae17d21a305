// The navigation-radio link: sentences "$PMRRV" + two-character message id +
// data + two hexadecimal checksum characters + CR LF, the checksum being the
// 8-bit sum of the id and data characters. The message layouts are listed
// with their field table in vorradio.cpp (and in tools/sl30-peer.py).
#pragma once
#include <cstdint>

constexpr int32_t kVorHeaderChars = 6;   // "$PMRRV" or "$PMRRC"
constexpr int32_t kVorMaxSentence = 64;  // "$" to LF; longer lines are refused unread

// The radio's messages the merge reads, in the order of their areas.
enum VorMsgKind : int32_t { kVor21, kVor22, kVor23, kVor24, kVor25, kVor28, kVorKinds };

struct VorMsgArea {
    uint32_t bReceived;          // set by the parser, cleared by the merge's time-out
    uint32_t nStamp;             // OS timer at the last arrival (or time-out)
};

// Radio flag byte (message 21): bit 0 course deviation valid, 2 localizer
// tuned, 3 TO, 4 FROM, 5 glideslope present, 6 glideslope valid; the same
// bits as the slot's radio flags A, but bit 0.
constexpr int32_t kVorFlagCdiValid = 1 << 0;

struct VorRadioRec {
    uint32_t   nPort;            // the serial port whose sentences fill the record
    VorMsgArea msg[kVorKinds];
    int32_t    nFlags;           // 21: flag byte
    int32_t    nCdi;             // 21: course deviation, full scale +-127, right positive
    int32_t    nVertDev;         // 21: glideslope deviation, full scale +-127, up positive
    int32_t    nObs;             // 22: course (OBS), whole degrees
    int32_t    nBearing;         // 22: bearing to the station, tenths of a degree
    int32_t    nBearing2;        // 23: second receiver's bearing to its station, tenths
    int32_t    nActiveFreq2;     // 24: second receiver, 10 kHz units (11030 = 110.30 MHz)
    int32_t    nStandbyFreq2;
    char       szStation[8];     // 25: station identifier, trailing blanks removed
    int32_t    nActiveFreq;      // 28: 10 kHz units
    int32_t    nStandbyFreq;
    // Refused sentences, by cause.
    uint32_t   nTooLong, nBadFrame, nBadCrc, nUnknownId, nBadLength, nBadField, nOtherPort;
    uint8_t    reserved[512];
};
static_assert(sizeof(VorRadioRec) == 640);

extern VorRadioRec G_VorRadio;

// 1 when the sentence's checksum characters agree with its contents, else 0.
int32_t CalcNmeaVorCrc(const uint8_t* msg, int32_t length);

// Sends a course (whole degrees) to the navigation radio on the slot's port.
void SendNavObs(int32_t slot, int32_t course);
// True when no course went to the slot's radio in the last 0.1 s.
bool NavObsResendDue(int32_t slot);

// The radio's record for a serial port: the first source port of function 4
// owns it; nullptr for every other port.
VorRadioRec* VorRadioOfPort(uint32_t port);
