#pragma once

// Why a delta could not be applied. Each failure has its own value, so a log line says which
// check refused the delta.
enum class DeltaError {
    none,
    baseUnreadable,
    deltaUnreadable,
    resultUnwritable,
    tooShort,
    badMagic,
    unknownVersion,
    unknownStreamFormat,
    reservedNotZero,
    baseSizeMismatch,
    streamLengthsMismatch,
    rawLengthsMismatch,
    controlNotWhole,
    negativeLength,
    readPastBase,
    seekOutsideBase,
    writePastResult,
    streamCorrupt,
    streamEndsEarly,
    streamHasBytesLeft,
    resultSizeMismatch,
    outOfMemory,
    resultSizeNotSigned,
};

// A short English name of the failure for log lines.
const char* DeltaErrorText(DeltaError error);
