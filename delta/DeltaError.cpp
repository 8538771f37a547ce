#include "delta/DeltaError.h"

const char* DeltaErrorText(DeltaError error) {
    switch (error) {
        case DeltaError::none:
            return "no error";
        case DeltaError::baseUnreadable:
            return "the base file cannot be read";
        case DeltaError::deltaUnreadable:
            return "the delta file cannot be read";
        case DeltaError::resultUnwritable:
            return "the result file cannot be written";
        case DeltaError::tooShort:
            return "the delta is shorter than its header";
        case DeltaError::badMagic:
            return "the delta does not start with its magic";
        case DeltaError::unknownVersion:
            return "the delta has an unknown format version";
        case DeltaError::unknownStreamFormat:
            return "the delta's streams have an unknown format";
        case DeltaError::reservedNotZero:
            return "the delta's reserved bytes are not zero";
        case DeltaError::baseSizeMismatch:
            return "the base has another size than the delta names";
        case DeltaError::streamLengthsMismatch:
            return "the delta's streams do not fill the file";
        case DeltaError::rawLengthsMismatch:
            return "the delta's streams do not make the result size";
        case DeltaError::controlNotWhole:
            return "the control stream is not whole triples";
        case DeltaError::negativeLength:
            return "a control triple has a negative length";
        case DeltaError::readPastBase:
            return "a control triple reads past the base";
        case DeltaError::seekOutsideBase:
            return "a control triple seeks outside the base";
        case DeltaError::writePastResult:
            return "a control triple writes past the result";
        case DeltaError::streamCorrupt:
            return "a delta stream is corrupt";
        case DeltaError::streamEndsEarly:
            return "a delta stream ends early";
        case DeltaError::streamHasBytesLeft:
            return "a delta stream has bytes left over";
        case DeltaError::resultSizeMismatch:
            return "the result has another size than the delta names";
        case DeltaError::outOfMemory:
            return "there is not enough memory for the base";
        case DeltaError::resultSizeNotSigned:
            return "the delta names another result size than the signed one";
    }
    return "unknown delta error";
}
