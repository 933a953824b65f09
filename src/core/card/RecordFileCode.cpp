#include "card/RecordFileCode.h"

#include "card/CallRecord.h"

namespace lk {

std::string_view RecordFileCode(int type) {
    switch (type) {
        case Incoming:
        case Missed:
        case Message:
            return "I";
        case Note:
        case Note2:
            return "NOTE";
        case Triggered:
            return "TRIG";
        default:
            return "O";
    }
}

int RecordTypeFromCode(std::string_view code) {
    if (code == "I") return Incoming;
    if (code == "O") return Outgoing;
    // Older recorders write the short form for notes.
    if (code == "NOTE" || code == "N") return Note;
    if (code == "TRIG") return Triggered;
    return -1;
}

}  // namespace lk
