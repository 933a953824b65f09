#include <gtest/gtest.h>

#include <fstream>

#include "platform/LetterCase.h"
#include "support/TempDir.h"

namespace lk {
namespace {
namespace fs = std::filesystem;

// A card as FAT lists it: upper-case short names, a lower-case long name, a
// folder whose name differs only in case, and a link that must stay a link.
TEST(LetterCaseIndex, TakesEachNameInTheCaseTheFolderListsIt) {
    test::TempDir dir;
    const fs::path root = dir.path();
    fs::create_directories(root / "RECORD" / "201601");
    fs::create_directories(root / "201602");
    for (const fs::path& f : {root / "RECORD" / "201601" / "A1.XTR", root / "201602" / "b2.wav",
                              root / "201602" / "Äpfel.wav"})
        std::ofstream(f) << "x";
    fs::create_symlink(root / "201602" / "b2.wav", root / "201602" / "LINK.WAV");
    struct Case {
        const char* relative;
        fs::path expected;
    };
    const Case cases[] = {
        {"RECORD/201601/A1.XTR", root / "RECORD/201601/A1.XTR"},  // as listed
        {"record/201601/a1.xtr", root / "RECORD/201601/A1.XTR"},  // folder and file
        {"201602/B2.WAV", root / "201602/b2.wav"},
        {"201602/äpfel.wav", root / "201602/Äpfel.wav"},      // Latin-1 letters fold too
        {"201602/link.wav", root / "201602/LINK.WAV"},        // named, not followed
        {"201602/missing.wav", root / "201602/missing.wav"},  // kept as given
        {"nowhere/x/A1.XTR", root / "nowhere/x/A1.XTR"},
        {"201602", root / "201602"},
    };
    LetterCaseIndex index;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.relative);
        EXPECT_EQ(index.Resolve(root, c.relative), c.expected);
    }
    // The listing is read once: a file that appears later in another case is
    // not taken for one the log names.
    std::ofstream(root / "201602" / "NEW.WAV") << "x";
    EXPECT_EQ(index.Resolve(root, "201602/new.wav"), root / "201602/new.wav");
}

}  // namespace
}  // namespace lk
