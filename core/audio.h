// Alert sounds: WAV files from the flash file system, each converted to the
// codec's 16-bit stereo frames in its own buffer with a DMA descriptor
// chain, and played through the AC97 codec by DMA channel 12.
//
// The buffers and chains sit in the board's DMA-visible RAM, because the
// descriptors hold 32-bit bus addresses; G_Sound and G_SoundDesc point there
// once InitAudio has run.
#pragma once
#include <cstdint>

constexpr int32_t  kSoundSlots     = 18;       // index = sound id; 0 carries no sound
constexpr int32_t  kSoundBeep      = 14;
constexpr uint32_t kSoundDataBytes = 576000;
constexpr uint32_t kSoundDataMax   = 575968;   // largest data chunk; 32 bytes of silence follow
constexpr int32_t  kSoundDescMax   = 71;
constexpr uint32_t kSoundChunk     = 8188;     // bytes a descriptor moves: whole 4-byte frames

#pragma pack(push, 1)
struct WavHeader {              // the RIFF/WAVE fields as read from the file
    char     szRiff[4];
    uint32_t nRiffSize;
    char     szWave[4];
    char     szFmtId[4];
    uint32_t nFmtSize;
    uint16_t nAudioFormat;
    uint16_t nChannels;
    uint32_t nSampleRate;
    uint32_t nByteRate;
    uint16_t nBlockAlign;
    uint16_t nBitsPerSample;
    char     szData[4];
    uint32_t nDataSize;
};
struct SoundRec {
    int32_t   nId;
    int32_t   nDescLast;
    int32_t   nFrames;
    int32_t   bValid;
    int32_t   nChunks;
    WavHeader header;
    uint8_t   abData[kSoundDataBytes];   // 16-bit stereo frames, left first
};
struct DmaDesc {                // as the DMA controller fetches it
    uint32_t nNext;             // bit 0: stop after this one
    uint32_t nSource;
    uint32_t nTarget;
    uint32_t nCommand;
};
#pragma pack(pop)
static_assert(sizeof(WavHeader) == 44);
static_assert(sizeof(SoundRec) == 576064);
static_assert(sizeof(DmaDesc) == 16);

extern const char SoundFileNames[kSoundSlots][40];
extern const char SoundNames[kSoundSlots][16];
extern SoundRec* G_Sound;                       // [kSoundSlots]
extern DmaDesc (*G_SoundDesc)[kSoundDescMax];   // [kSoundSlots]

// Sets up the link, the DMA request and the codec; the last codec status.
int32_t InitAudio();
// 0 when the sound is loaded and valid, -1 otherwise.
int32_t LoadWavFile(int32_t id);
// Starts a sound, cutting off the one playing; BEEP for an unusable id.
// 0 when a sound started.
int32_t PlaySound(int32_t id);
// Calibration mode: the master volume with every sound found played in turn;
// soft key 5 stores the volume, soft key 1 leaves it as it was.
void SoundMenu();
