// The ARINC 429 adapter link: the 50 ms frame of six word images and the
// dimming byte, the single commands, and the adapter's version, VOR/ILS and
// GPS messages with their label decoding.
//
// A word image holds the octal label's value in bits 0..7, 0x600 (bits 9..10)
// for valid data, and the data left-aligned with its sign in bit 31.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr uint32_t kArincValid      = 0x600;
constexpr uint32_t kArincPeriodTicks = 184320;   // 50 ms between frames
constexpr int32_t  kArincFrameBytes = 34;
constexpr int32_t  kArincPayloadMax = 63;        // payload bytes a record holds, a NUL behind them
constexpr int32_t  kArincRecords    = 5;
constexpr uint32_t kArincFreshTicks = 18432000;  // labels used up to 5 s old

// Labels taken from the adapter's messages.
enum ArincLabelIdx : uint8_t {
    kAl034, kAl100, kAl114, kAl115, kAl116, kAl117, kAl121, kAl147, kAl173, kAl174, kAl222,
    kAl251, kAl260, kAl261, kAl310, kAl311, kAl312, kAl313, kAl320, kAl326, kAl327, kArincLabels
};

#pragma pack(push, 1)
struct ArincLabelData {
    uint32_t nWord;       // as received
    uint8_t  nSsm;        // bits 9..10 of the image: 3 normal
    int32_t  nValue;      // decoded, in the unit of ArincLabelDefs
    uint32_t nStamp;      // OS timer at arrival; 0 never
};
static_assert(sizeof(ArincLabelData) == 13);

// Message kinds: 0 'V' 1, 1..4 'G' 1..4.
constexpr int32_t kArincKinds = 5;

struct ArincAdapterRec {
    uint8_t  bVersionRx;          // 1 once a version message was taken
    char     szVersion[6];        // five characters and a NUL
    uint8_t  reserved7;
    int32_t  nVersion;            // -1 when not two digits
    // Decoded label data.
    uint8_t  nType;               // 1 GPS, 2 radio
    uint8_t  bFresh[kArincKinds]; // a message of the kind arrived since the merge looked
    uint32_t nKindStamp[kArincKinds];
    uint32_t nGpsInteg;           // 1 while the GPS position labels report normal operation
    uint8_t  bRollSteer;          // label 121 received in normal operation
    uint32_t nRollWord;           // its raw word
    uint32_t nVertWord;           // label 117 raw word
    ArincLabelData label[kArincLabels];
    // Message fields.
    uint8_t  bValid;
    char     cType;
    uint8_t  nDigit;
    uint32_t nLength;
    uint8_t  abPayload[kArincPayloadMax + 1];
    uint8_t  nChecksum;
    // Output part: the port's last frame from its byte 0 ('$' 0x1C, two bytes
    // not written, six words, '*', checksum, CR LF).
    uint8_t  abFrame[32];
    uint8_t  reserved[396];
};
static_assert(sizeof(ArincAdapterRec) == 824);
#pragma pack(pop)

extern ArincAdapterRec G_ArincAdapter[kArincRecords];
extern uint8_t G_ArincVersionSeen;

// Label table: octal label value, BNR significant bits (0: BCD or discrete),
// range and the factor to the stored unit.
struct ArincLabelDef {
    uint8_t nLabel;
    uint8_t nBits;
    double  fRange;
    double  fUnit;
};
extern const ArincLabelDef ArincLabelDefs[kArincLabels];

// The BNR count of an image with `bits` significant bits below the sign.
int32_t ArincBnr(uint32_t word, int32_t bits);

// Encoders.
void ArincSelCourseWord(uint32_t* word, int32_t slot);
void ArincGpsPassWord(uint32_t* word);
void ArincRollSteerWord(uint32_t* word);
void ArincSelVsWord(uint32_t* word);
void ArincLabel122Word(uint32_t* word);
void ArincHeadingWord(uint32_t* word, int32_t heading);
void ArincLabel324Word(uint32_t* word);
// The vertical-speed word for a commanded vertical speed (ft/min).
uint32_t ArincVsImage(float vs);

// The slot whose port is `port` (slots 0..3), slot 0 when none.
int32_t ArincSourceSlot(uint32_t port);
void    SendArincFrame(uint32_t port);
// Sends a single command; codes without one send nothing and return 0.
int32_t SendArincCmd(uint32_t port, int32_t code);
// The input record a port's messages go to.
ArincAdapterRec* ArincInputRec(uint32_t port);
void    SendArincHeading(uint32_t port, int32_t heading);
void    SendArincRollSteer(uint32_t port);
void    SendArincLabel122(uint32_t port);
void    SendArincLabel324(uint32_t port);
void    ArincCmdNop(uint32_t port);
void    ParseArincData(ArincAdapterRec* rec, int32_t length);
// The brightness byte: percent x 255 / 100.
uint8_t ArincDimByte();
