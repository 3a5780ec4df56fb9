#ifndef QVXMAPI_H
#define QVXMAPI_H

/* qvxmapi: client of one QVXM module (16-channel bridge-sensor ADC) through the crate server.
 *
 * One TQVXM record per module, one TCP connection per open record. Usable from any thread,
 * one thread at a time per record (the record may be opened on one thread and read on
 * another). Every call is bounded: connect 2 s, reply 3 s, QVXM_Recv its own timeout plus
 * 1 s, QVXM_TareOffset the balancing time plus 3 s.
 *
 * The module model
 * ----------------
 * Clock. The ADC's modulator runs at 24 MHz. A conversion takes a decimation of D clocks
 * (480 <= D <= 2 400 000: 50 kHz down to 10 Hz).
 *
 * Single-channel mode (SingleChannelMode = 1, exactly one channel): the rate is 24 MHz / D.
 *   QVXM_FillFilterParams / QVXM_FindFilterParams(1, ...) pick the D nearest to the asked
 *   rate; 2000, 5000, 10000, 15625, 20833.33, 31250, 41666.67 and 50000 Hz are exact.
 * Multi-channel mode: the multiplexer cycles through the channel table; each conversion
 *   takes a settling time S (MultiChannelParam, in microseconds, 0..100, rounded to whole
 *   clocks; the program uses 10 us = 240 clocks) plus the filter's D clocks. The aggregate
 *   conversion rate is 24 MHz / P with the period P = S + D clocks, 1200 <= P: at most
 *   20 kHz. QVXM_FillSyncFreqDiv sets P from the asked rate and returns 24 MHz / P;
 *   QVXM_FillFilterParams then sets D = P - S. QVXM_FindFilterParams(0, rate, S, ...)
 *   returns the filter's own rate 24 MHz / D and the extra S in microseconds, so that
 *   1 / (1 / rate + S * 1e-6) is the realisable aggregate rate. 2000, 5000, 10000, 15000 and
 *   20000 Hz are exact with S = 10 us.
 * Any rate in between snaps to the nearest realisable one; rates outside the limits snap to
 *   the limit; zero, negative or non-finite rates are QVX_ERR_ARGUMENT.
 * Frame. A frame holds one value of every enabled channel, in ChannelTable order. Each value
 *   travels as QVXM_WORDS_PER_VALUE (2) raw 32-bit words, so WordsPerFrame = 2 * ChannelCount.
 *   FrameRate (frames per second = samples per second of each channel) is the single-channel
 *   rate, or the aggregate rate / ChannelCount in multi-channel mode.
 * Raw words. A value is a 24-bit two's-complement code: word 0 = 0x80000000 | channel << 16 |
 *   code bits 23..8; word 1 = channel << 16 | flags << 8 | code bits 7..0, flag 0x01 = the
 *   input was clipped at the range's limit.
 * Conversion. Range 0 spans +-35 mV, range 1 +-70 mV (full scale at code 2^23). Coefficient
 *   pair r of CoefficientArea (r = range; first = gain, second = offset in mV) gives
 *   volts = (code * FS / 2^23 - offset) / gain / 1000.
 * Supply current. A 12-bit source: I(code) = first + second * code mA, with pair 6 of
 *   CoefficientArea; the default pairs step by at most 0.008 mA, so 5, 7, 10, 14, 21 and
 *   25 mA are realisable within 0.004 mA. Requests snap to the nearest code 0..4095.
 * CoefficientArea: 752 bytes; bytes 0..111 are seven pairs of little-endian doubles: pairs
 *   0, 1 = ADC ranges 35 and 70 mV, pair 2 = ADC reference (gain, offset), pairs 3..5 = the
 *   balancing DAC, pair 6 = the supply-current source; the rest carries the module's
 *   calibration record and is not interpreted here.
 * Balancing. QVXM_TareOffset measures each masked channel's bridge unbalance and stores a
 *   DAC compensation (step 1 uV, at most +-50 mV); it takes about 3.5 s. The compensation is
 *   applied to acquisitions configured with TareEnabled = 1.
 * Wiring check. QVXM_InitMeasParams(rec, tests, threshold, status): tests bit 0 = open
 *   circuit, bit 1 = short circuit (3 = both), threshold in ADC counts of 16 bits; a fault
 *   sets the bits QVXM_REF_CHANNEL_OPEN, QVXM_REF_CHANNEL_SHORT, QVXM_LINE_U_OPEN in the
 *   first byte of the status and returns QVX_ERR_WIRING.
 *
 * Set-up order: QVXM_Stop (while Running), QVXM_FillISrcCode, QVXM_FillSyncFreqDiv
 * (multi-channel only), QVXM_FillFilterParams, QVXM_SetADC, QVXM_DataStatusInit,
 * QVXM_InitMeasParams. Per frame: QVXM_Start, QVXM_Recv..., QVXM_Stop, QVXM_ProcessData.
 * QVXM_TareOffset between acquisitions. */

#include "qvxcommon.h"

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QVXM_CHANNELS 16
#define QVXM_COEFFICIENT_AREA_SIZE 752
#define QVXM_COEFFICIENT_PAIRS 7
#define QVXM_ISRC_PAIR 6
#define QVXM_WORDS_PER_VALUE 2

/* Wiring-fault bits in the first byte of TQVXMDataStatus. */
#define QVXM_REF_CHANNEL_OPEN 0x04u
#define QVXM_REF_CHANNEL_SHORT 0x08u
#define QVXM_LINE_U_OPEN 0x20u
#define QVXM_WIRING_MASK 0x2Cu

typedef struct TQVXMChannelEntry {
    uint8_t Channel; /* 0..15 */
    uint8_t Range;   /* 0 = 35 mV, 1 = 70 mV */
    uint8_t Reserved[2];
} TQVXMChannelEntry;

typedef struct TQVXMCoefPair {
    double First;
    double Second;
} TQVXMCoefPair;

typedef struct TQVXM {
    /* Filled by QVXM_Open. */
    char ModuleName[8];    /* "QVXM", zero-padded */
    char ModuleSerial[16]; /* zero-terminated */
    uint16_t FirmwareVersion;
    uint8_t Running; /* non-zero between QVXM_Start and QVXM_Stop */

    /* Written by the caller before QVXM_SetADC. */
    uint8_t SingleChannelMode;
    double MultiChannelParam; /* multiplexer settling time, us */
    uint32_t ClearedWord;
    uint8_t ClearedFlag;
    uint8_t TareEnabled;
    uint8_t Reserved0[2];
    int32_t ChannelCount;
    TQVXMChannelEntry ChannelTable[QVXM_CHANNELS];

    /* Filled by QVXM_SetADC. */
    int32_t WordsPerFrame;
    double FrameRate;

    /* Filled by QVXM_Open; see the model above. Kept 8-byte aligned. */
    uint8_t CoefficientArea[QVXM_COEFFICIENT_AREA_SIZE];

    /* Private to the library. */
    int32_t Socket;
    uint32_t OpenMark;
    uint8_t Opened;
    uint8_t Configured;
    uint16_t Slot;
    char CrateSerial[16];
    uint16_t ISrcCode;
    uint16_t Reserved1;
    uint32_t FilterDecimation;
    uint32_t SyncPeriod;
    double SupplyCurrent;
} TQVXM;

typedef struct TQVXMFilterParams {
    uint32_t Decimation; /* filter length in modulator clocks */
    uint32_t Order;      /* the filter's order (sinc3) */
    double Rate;         /* achieved filter rate, Hz */
    double SettleUs;     /* multiplexer settling time per conversion, us (0 single-channel) */
} TQVXMFilterParams;

typedef struct TQVXMDataStatus {
    uint8_t Wiring; /* QVXM_REF_CHANNEL_OPEN | QVXM_REF_CHANNEL_SHORT | QVXM_LINE_U_OPEN */
    uint8_t Checked; /* the tests that ran */
    uint8_t Reserved[2];
    uint32_t Threshold;
    uint32_t ChannelFlags; /* bit c: channel c answered the check */
} TQVXMDataStatus;

/* Zeroes the record (MultiChannelParam = 10 us); an open record is closed first. */
int32_t QVXM_Init(TQVXM *rec);
/* Opens the module in slot (1..16) of the crate with serial crateSerial through the server at
 * address:port (0x7F000001, 11111). Fills ModuleName, ModuleSerial, FirmwareVersion,
 * CoefficientArea. An open record is closed first. */
int32_t QVXM_Open(TQVXM *rec, uint32_t address, uint16_t port, const char *crateSerial,
                  uint16_t slot);
/* 0 when the record holds an open module, QVX_ERR_NOT_OPEN otherwise. */
int32_t QVXM_IsOpened(const TQVXM *rec);
/* Stops an acquisition, releases the module and the connection; safe on a closed record. */
int32_t QVXM_Close(TQVXM *rec);

/* Picks the supply-current code nearest to mA with the record's pair 6; *achievedMa gets
 * the current it gives. */
int32_t QVXM_FillISrcCode(TQVXM *rec, double mA, double *achievedMa);
/* Multi-channel: picks the conversion period nearest to hz (with MultiChannelParam as the
 * settling time); *achievedHz gets the aggregate rate. */
int32_t QVXM_FillSyncFreqDiv(TQVXM *rec, double hz, double *achievedHz);
/* Picks the filter for hz in the record's mode; flags must be 0. */
int32_t QVXM_FillFilterParams(TQVXM *rec, double hz, TQVXMFilterParams *filter, uint32_t flags);
/* Pure computation: single = 1 single-channel, 0 multi-channel with settleUs. */
int32_t QVXM_FindFilterParams(int32_t single, double hz, double settleUs,
                              TQVXMFilterParams *filter, double *extraUs);
/* Pure computation with a supply-current coefficient pair; code may be NULL. */
int32_t QVXM_FindISrcCode(const TQVXMCoefPair *pair, double mA, uint16_t *code,
                          double *achievedMa);
/* Sends the configuration to the module; fills WordsPerFrame and FrameRate. */
int32_t QVXM_SetADC(TQVXM *rec);
/* Clears a status record. */
int32_t QVXM_DataStatusInit(TQVXMDataStatus *status);
/* Runs the wiring check; QVX_ERR_WIRING with the fault bits in status->Wiring. */
int32_t QVXM_InitMeasParams(TQVXM *rec, uint32_t tests, uint32_t threshold,
                            TQVXMDataStatus *status);
int32_t QVXM_Start(TQVXM *rec);
/* Returns 0 at once when the module is not running. */
int32_t QVXM_Stop(TQVXM *rec);
/* Receives count raw words into words, waiting at most timeoutMs for them (plus 1 s for the
 * reply). Returns the words received (fewer when the module delivered a short block) or a
 * negative status. timeMarks must be NULL (no time marks are delivered). */
int32_t QVXM_Recv(TQVXM *rec, uint32_t *words, uint64_t *timeMarks, uint32_t count,
                  uint32_t timeoutMs);
/* Converts *count raw words (whole values, starting at a frame boundary) into volts;
 * *count becomes the number of values = words * ChannelCount / WordsPerFrame. channelStatus
 * (per value, flag 0x01 = clipped) may be NULL; timeMarks must be NULL; flags must be 0. */
int32_t QVXM_ProcessData(TQVXM *rec, const uint32_t *words, double *values, uint32_t *count,
                         uint32_t *channelStatus, const uint64_t *timeMarks, uint32_t flags);
/* Balances the bridge unbalance of the channels in mask (bit c = channel c); *result gets
 * the mask of channels balanced. Not while running. */
int32_t QVXM_TareOffset(TQVXM *rec, uint32_t mask, uint32_t *result);

/* Pair index (0..6) of the record's CoefficientArea, copied out (the area is bytes). */
int32_t QVXM_GetCoefPair(const TQVXM *rec, int32_t index, TQVXMCoefPair *pair);

#ifdef __cplusplus
}
#endif

#endif
