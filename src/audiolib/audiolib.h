// Tonvera's audio library: a C-style surface over FFmpeg (decode, encode), SoundTouch (tempo,
// pitch, rate), libavutil's av_tx (FFT) and SDL2 (output).
//
// Rules that hold for every function below:
// - Handles are 32-bit; 0 is failure. Handles are never reused within a run.
// - A failing call returns 0 / FALSE / -1 (as documented per function), sets the calling thread's
//   last error (BASS_ErrorGetCode) and changes nothing. A succeeding call sets BASS_OK.
// - The current device is a setting of the calling thread. Device 0 is the no-sound device:
//   streams made on it decode but nothing is heard. Devices 1..n are output devices, the system
//   default first; -1 asks for the default.
// - Byte positions and lengths are in the channel's own sample format (float or 16-bit) and
//   channel count at the source's sample rate. For a tempo stream they are in source time.
// - Every function may be called from any thread except the audio callback, which never calls in.
#ifndef TONVERA_AUDIOLIB_H
#define TONVERA_AUDIOLIB_H

#include <cstdint>

extern "C" {

using DWORD = std::uint32_t;
using QWORD = std::uint64_t;
using BOOL = int;
using HSTREAM = DWORD;
using HMUSIC = DWORD;
using HSAMPLE = DWORD;
using HCHANNEL = DWORD;
using HFX = DWORD;
using HENCODE = DWORD;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

// Version numbers: major in bits 24..31, minor in 16..23. versionString is version >> 16.
constexpr DWORD BASSVERSION = 0x02040000;
constexpr DWORD BASSFXVERSION = 0x02040000;

// Error codes (BASS_ErrorGetCode). Logged by callers, never interpreted by them.
constexpr int BASS_OK = 0;
constexpr int BASS_ERROR_MEM = 1;        // out of memory
constexpr int BASS_ERROR_FILEOPEN = 2;   // the file could not be opened
constexpr int BASS_ERROR_DRIVER = 3;     // no output device could be opened
constexpr int BASS_ERROR_HANDLE = 5;     // invalid handle
constexpr int BASS_ERROR_FORMAT = 6;     // unsupported sample format
constexpr int BASS_ERROR_POSITION = 7;   // invalid position
constexpr int BASS_ERROR_INIT = 8;       // the device has not been initialised
constexpr int BASS_ERROR_ALREADY = 14;   // already initialised / already done
constexpr int BASS_ERROR_NOCHAN = 18;    // no free channel
constexpr int BASS_ERROR_ILLTYPE = 19;   // illegal type (attribute, data flag, effect type)
constexpr int BASS_ERROR_ILLPARAM = 20;  // illegal parameter (NaN, out of range)
constexpr int BASS_ERROR_DEVICE = 23;    // illegal device number
constexpr int BASS_ERROR_NOPLAY = 24;    // the channel is not playing
constexpr int BASS_ERROR_FREQ = 25;      // illegal sample rate
constexpr int BASS_ERROR_NOTFILE = 27;   // the stream is not a file stream
constexpr int BASS_ERROR_NOTAVAIL = 37;  // not available (e.g. data of an unplayed channel)
constexpr int BASS_ERROR_DECODE = 38;    // the channel is/is not a decoding channel
constexpr int BASS_ERROR_FILEFORM = 41;  // unsupported or unreadable file format
constexpr int BASS_ERROR_CODEC = 44;     // codec not available
constexpr int BASS_ERROR_ENDED = 45;     // the channel has reached its end
constexpr int BASS_ERROR_CREATE = 33;    // the output file could not be created
constexpr int BASS_ERROR_UNKNOWN = -1;

// Device flags (BASS_DEVICEINFO::flags).
constexpr DWORD BASS_DEVICE_ENABLED = 1;
constexpr DWORD BASS_DEVICE_DEFAULT = 2;
constexpr DWORD BASS_DEVICE_INIT = 4;

// Sample / stream flags.
constexpr DWORD BASS_SAMPLE_8BITS = 0x1;
constexpr DWORD BASS_SAMPLE_MONO = 0x2;
constexpr DWORD BASS_SAMPLE_LOOP = 0x4;
constexpr DWORD BASS_SAMPLE_FLOAT = 0x100;
constexpr DWORD BASS_STREAM_PRESCAN = 0x20000;
constexpr DWORD BASS_STREAM_DECODE = 0x200000;
constexpr DWORD BASS_FX_FREESOURCE = 0x10000;
constexpr DWORD BASS_UNICODE = 0x80000000;  // accepted and ignored: paths are always UTF-8
// Tonvera's own tempo-stream flag: the light stretch engine (SoundTouch, for slow machines)
// instead of the best-quality one (Rubber Band R3).
constexpr DWORD TONVERA_FX_TEMPO_LIGHT = 0x1000000;

// BASS_SampleGetChannel flags.
constexpr DWORD BASS_SAMCHAN_NEW = 1;

// Channel states (BASS_ChannelIsActive).
constexpr DWORD BASS_ACTIVE_STOPPED = 0;
constexpr DWORD BASS_ACTIVE_PLAYING = 1;
constexpr DWORD BASS_ACTIVE_STALLED = 2;
constexpr DWORD BASS_ACTIVE_PAUSED = 3;

// Position modes.
constexpr DWORD BASS_POS_BYTE = 0;

// Attributes.
constexpr DWORD BASS_ATTRIB_FREQ = 1;               // playback rate, Hz (> 0, finite)
constexpr DWORD BASS_ATTRIB_VOL = 2;                // level 0..1 (finite, >= 0; above 1 amplifies)
constexpr DWORD BASS_ATTRIB_TEMPO = 0x10000;        // tempo change, percent (-95 .. 5000)
constexpr DWORD BASS_ATTRIB_TEMPO_PITCH = 0x10001;  // pitch change, semitones (-60 .. 60)

// Effects.
constexpr DWORD BASS_FX_BFX_VOLUME = 0x10003;
constexpr int BASS_BFX_CHANALL = -1;

// BASS_ChannelGetData flags (or-ed into the length argument).
constexpr DWORD BASS_DATA_AVAILABLE = 0;         // with no flag: read (decoding) / peek (playing)
constexpr DWORD BASS_DATA_FFT2048 = 0x80000003;  // 1024 float magnitudes of a 2048-point FFT
constexpr DWORD BASS_DATA_FLOAT = 0x40000000;    // sample data as 32-bit floats

// Config options.
constexpr DWORD BASS_CONFIG_UPDATEPERIOD = 1;

// Encoder flags and four-character codes.
constexpr DWORD BASS_ENCODE_PCM = 0x40;
constexpr DWORD BASS_FOURCC(char a, char b, char c, char d) {
    return static_cast<DWORD>(static_cast<unsigned char>(a)) << 24 |
           static_cast<DWORD>(static_cast<unsigned char>(b)) << 16 |
           static_cast<DWORD>(static_cast<unsigned char>(c)) << 8 |
           static_cast<DWORD>(static_cast<unsigned char>(d));
}
constexpr DWORD BASS_CA_FILE_MP4 = BASS_FOURCC('m', 'p', '4', 'f');
constexpr DWORD BASS_CA_FILE_M4A = BASS_FOURCC('m', '4', 'a', 'f');
constexpr DWORD BASS_CA_CODEC_AAC = BASS_FOURCC('a', 'a', 'c', ' ');
constexpr DWORD BASS_CA_CODEC_ALAC = BASS_FOURCC('a', 'l', 'a', 'c');

struct BASS_DEVICEINFO {
    const char* name;    // UTF-8; valid until BASS_Free of all devices / process end
    const char* driver;  // the SDL audio driver name
    DWORD flags;         // BASS_DEVICE_ENABLED | BASS_DEVICE_DEFAULT | BASS_DEVICE_INIT
};

struct BASS_INFO {
    DWORD flags;
    DWORD hwsize;
    DWORD hwfree;
    DWORD freesam;
    DWORD free3d;
    DWORD minrate;
    DWORD maxrate;
    BOOL eax;
    DWORD minbuf;  // ms of buffer the device needs
    DWORD dsver;
    DWORD latency;  // ms from play to hearing
    DWORD initflags;
    DWORD speakers;
    DWORD freq;  // output rate
};

struct BASS_CHANNELINFO {
    DWORD freq;   // the source's own sample rate
    DWORD chans;  // channel count as delivered by the channel
    DWORD flags;  // creation flags
    DWORD ctype;
    DWORD origres;  // bits per sample of the file, 0 when unknown
    DWORD plugin;
    HSAMPLE sample;
    const char* filename;
};

struct BASS_BFX_VOLUME {
    int lChannel;   // BASS_BFX_CHANALL, or a 1-based channel number
    float fVolume;  // linear factor
};

// ---- library and device -------------------------------------------------------------------------
DWORD BASS_GetVersion();
DWORD BASS_FX_GetVersion();
// Opens a device (-1 default, 0 no sound, 1..n) at freq (output rate) and makes it current for the
// calling thread. Fails with BASS_ERROR_ALREADY when that device is open, BASS_ERROR_DEVICE for an
// unknown number, BASS_ERROR_DRIVER when no output could be opened.
BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win, const void* clsid);
// Frees the calling thread's current device and every stream, sample and encoder made on it.
BOOL BASS_Free();
// The calling thread's current device; (DWORD)-1 with BASS_ERROR_INIT when none is.
DWORD BASS_GetDevice();
BOOL BASS_SetDevice(DWORD device);
// Output devices 1..n (0 is never listed); FALSE with BASS_ERROR_DEVICE past the last one.
BOOL BASS_GetDeviceInfo(DWORD device, BASS_DEVICEINFO* info);
BOOL BASS_GetInfo(BASS_INFO* info);
// Master output level 0..1 of the current device; -1 on failure.
float BASS_GetVolume();
BOOL BASS_SetConfig(DWORD option, DWORD value);
DWORD BASS_GetConfig(DWORD option);
int BASS_ErrorGetCode();
// A short English description of an error code, for messages (never NULL).
const char* BASS_ErrorGetText(int code);

// ---- streams ------------------------------------------------------------------------------------
// file is a UTF-8 path when mem is FALSE. offset and length must be 0 (whole file).
HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags);
// A tempo stream over a decoding channel. Takes ownership of the source with BASS_FX_FREESOURCE.
HSTREAM BASS_FX_TempoCreate(DWORD chan, DWORD flags);
BOOL BASS_StreamFree(HSTREAM handle);
// There are no tracker modules: always fails with BASS_ERROR_HANDLE unless handle is a module.
BOOL BASS_MusicFree(HMUSIC handle);

// ---- channel control ----------------------------------------------------------------------------
BOOL BASS_ChannelPlay(DWORD handle, BOOL restart);
BOOL BASS_ChannelPause(DWORD handle);
BOOL BASS_ChannelStop(DWORD handle);
// For a decoding channel: PLAYING while data remains, STOPPED at its end.
DWORD BASS_ChannelIsActive(DWORD handle);
// (QWORD)-1 on failure. Exact from the start, except for a stream made without
// BASS_STREAM_PRESCAN over a container that does not state its length sample-exactly (Matroska,
// ASF, AVI...): that starts with the container's estimate and changes once, to the exact length,
// when a background measurement ends. Read it again rather than keep it.
QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode);
QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode);
BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode);
// -1 (double) on failure.
double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos);
QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double pos);
BOOL BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info);
BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value);
BOOL BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float* value);
// Resulting playback rate / source rate (tempo and rate together); 0 on failure.
float BASS_FX_TempoGetRateRatio(DWORD handle);

// ---- effects ------------------------------------------------------------------------------------
HFX BASS_ChannelSetFX(DWORD handle, DWORD type, int priority);
BOOL BASS_ChannelRemoveFX(DWORD handle, HFX fx);
BOOL BASS_FXSetParameters(HFX handle, const void* params);
BOOL BASS_FXGetParameters(HFX handle, void* params);

// ---- data ---------------------------------------------------------------------------------------
// length is a byte count or-ed with BASS_DATA_* flags. On a playing channel the data is what is
// being heard now (peeked, not consumed); on a decoding channel it is read from the stream.
// Returns the bytes written (for FFT2048: 4096), or (DWORD)-1 on failure.
DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length);

// ---- samples ------------------------------------------------------------------------------------
HSAMPLE BASS_SampleLoad(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD max,
                        DWORD flags);
BOOL BASS_SampleFree(HSAMPLE handle);
HCHANNEL BASS_SampleGetChannel(HSAMPLE handle, DWORD flags);

// ---- encoding -----------------------------------------------------------------------------------
// An encoder taps a decoding channel: every block pulled through BASS_ChannelGetData on it is
// written to the output file. Only BASS_ENCODE_PCM (a 16-bit WAV file named by cmdline) is
// supported by BASS_Encode_Start; proc must be NULL.
using ENCODEPROC = void(HENCODE handle, DWORD channel, const void* buffer, DWORD length,
                        void* user);
HENCODE BASS_Encode_Start(DWORD handle, const char* cmdline, DWORD flags, ENCODEPROC* proc,
                          void* user);
// ftype/atype: BASS_CA_FILE_MP4 + BASS_CA_CODEC_AAC, or BASS_CA_FILE_M4A + BASS_CA_CODEC_ALAC.
// bitrate 0 = the codec's default.
HENCODE BASS_Encode_StartCAFile(DWORD handle, DWORD ftype, DWORD atype, DWORD flags, DWORD bitrate,
                                const char* filename);
// handle: an encoder or a channel (any of its encoders). BASS_ACTIVE_PLAYING or 0 (stopped/dead).
DWORD BASS_Encode_IsActive(DWORD handle);
// handle: an encoder or a channel (all of its encoders). Finishes and closes the file(s).
BOOL BASS_Encode_Stop(DWORD handle);
// Tonvera's own: why an encoder died or its file could not be completed, as one sentence; ""
// while it lives or when nothing failed. handle: an encoder, or a channel (its first failing
// encoder, else the last one that failed, also after BASS_Encode_Stop).
// The text is copied into `buffer` (at most `size` bytes, always terminated); returns its full
// length, 0 when there is nothing to tell or the handle is unknown.
DWORD TONVERA_Encode_GetError(DWORD handle, char* buffer, DWORD size);

// ---- Tonvera's own: practice tools ----
// The device clock: frames the current device has played so far, and its rate. Beats and
// delayed starts below are given on it.
BOOL TONVERA_GetClock(QWORD* frame, DWORD* rate);
// Plays a tempo or file stream (as BASS_ChannelPlay without restart), heard only from device
// frame `frame` on; until then it holds where it is.
BOOL TONVERA_ChannelPlayAt(DWORD handle, QWORD frame);
// handle: a sample channel. It sounds at device frame `firstFrame` and every `intervalSeconds`
// after, `count` times (0: until stopped); with `accent`, the first of every `beatsPerBar`
// beats sounds higher. Replaces the beats asked for before; BASS_ChannelStop ends them.
BOOL TONVERA_ChannelPlayBeats(DWORD handle, QWORD firstFrame, double intervalSeconds, DWORD count,
                              DWORD beatsPerBar, BOOL accent);
// handle: a tempo stream. An A-B loop in seconds of the source: playback runs from `end` back
// to `start`, with a 10 ms crossfade into what leads up to the start. end <= start clears it.
BOOL TONVERA_ChannelSetLoop(DWORD handle, double start, double end);
// handle: a tempo stream. Every `passesPerStep` passes through the loop the tempo moves `step`
// points toward `target` (percent, as BASS_ATTRIB_TEMPO); passesPerStep 0 turns it off.
BOOL TONVERA_ChannelSetTrainer(DWORD handle, float target, float step, DWORD passesPerStep);
// handle: a tempo stream. Before every pass through its loop after the first, `beats` clicks of
// the sample channel `click` (at its volume now), `intervalSeconds` apart, with the first of
// every `beatsPerBar` higher when `accent`; the music fades out at the seam and comes back on
// the beat after the clicks. beats 0 turns it off.
BOOL TONVERA_ChannelSetLoopCountIn(DWORD handle, DWORD click, DWORD beats, double intervalSeconds,
                                   DWORD beatsPerBar, BOOL accent);
// handle: a tempo stream. Passes through the loop since the loop or the trainer was set;
// (DWORD)-1 on error.
DWORD TONVERA_ChannelGetLoopPasses(DWORD handle);

// ---- Tonvera's own: hearing one part ----
// What a tempo stream does to its output to bring one part forward. channels: 0 stereo,
// 1 left only, 2 right only, 3 mono, 4 swapped. focus: 0 off, 1 bass, 2 low mids, 3 highs,
// 4 custom (focusCentre Hz 20..20000 and below half the rate, focusWidth octaves 0.1..6,
// focusGain dB -30..30). centreCancel: take out what is common to both channels in the voice
// band. Heard within the frames already rendered; turning the centre cancel on or off starts
// the stretcher again where it is.
struct TONVERA_HEARING {
    DWORD channels;
    DWORD focus;
    float focusCentre;
    float focusWidth;
    float focusGain;
    BOOL centreCancel;
};
BOOL TONVERA_ChannelSetHearing(DWORD handle, const TONVERA_HEARING* hearing);
BOOL TONVERA_ChannelGetHearing(DWORD handle, TONVERA_HEARING* hearing);

}  // extern "C"

#endif
