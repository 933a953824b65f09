#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "card/CallRecord.h"
#include "card/RecordFileCode.h"

namespace lk {
namespace {

struct CodeCase {
    int type;
    std::string_view code;
};

TEST(RecordFileCode, NamesEachTypeAsTheRecorderDoes) {
    const CodeCase cases[] = {
        {Incoming, "I"},
        {Missed, "I"},
        {Message, "I"},
        {Outgoing, "O"},
        {Note, "NOTE"},
        {Note2, "NOTE"},
        {Triggered, "TRIG"},
        // Types the recorder never writes fall back to an outgoing call.
        {0, "O"},
        {1, "O"},
        {9, "O"},
        {-1, "O"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RecordFileCode(c.type), c.code) << "type " << c.type;
}

TEST(RecordFileCode, ReadsBackToTheTypeTheListsShow) {
    // Missed calls and messages come back as incoming, the second note kind
    // as a note: the file name does not tell them apart.
    const CodeCase cases[] = {
        {Incoming, "I"}, {Outgoing, "O"}, {Note, "NOTE"}, {Note, "N"}, {Triggered, "TRIG"},
        {-1, "i"},       {-1, "n"},       {-1, "Note"},   {-1, ""},    {-1, "TRIGX"},
        {-1, " I"},      {-1, "M"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RecordTypeFromCode(c.code), c.type) << "code \"" << c.code << '"';
    for (int type : {Incoming, Missed, Outgoing, Note, Note2, Triggered, Message}) {
        const int back = RecordTypeFromCode(RecordFileCode(type));
        EXPECT_NE(back, -1) << "type " << type;
    }
}

}  // namespace
}  // namespace lk
