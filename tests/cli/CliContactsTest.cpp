#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "support/RunCli.h"
#include "support/TempDir.h"

namespace lk {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string Utf16Le(std::string_view ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

TEST(CliContacts, ReadsFilesAndFoldersAsPhonesAndMailProgramsWriteThem) {
    test::TempHome home;
    test::TempDir dir;
    const std::string card = "BEGIN:VCARD\r\r\nFN:Ann\r\r\nTEL:(555) 555-0188\r\r\nEND:VCARD\r\r\n";
    test::WriteText(dir / "iphone.vcf", card);
    test::WriteText(dir / "windows.vcf", Utf16Le(card));
    fs::create_directories(dir / "vdir");
    test::WriteText(dir / "vdir" / "a.vcf", card);
    test::WriteText(dir / "list.csv", "name,number\r\n");
    for (const char* source : {"iphone.vcf", "windows.vcf", "vdir"}) {
        SCOPED_TRACE(source);
        const auto run = test::RunCli({"contacts", "--vcard", (dir / source).string(), "--json"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const auto rows = json::parse(run.out);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0]["name"], "Ann");
        EXPECT_EQ(rows[0]["numbers"][0], "5555550188");
    }
    for (const char* source : {"list.csv", "missing.vcf"}) {
        SCOPED_TRACE(source);
        const auto run = test::RunCli({"contacts", "--vcard", (dir / source).string()});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.out.empty());
        EXPECT_NE(run.err.find(source), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        // The same source refuses the commands that match names with it.
        EXPECT_EQ(
            test::RunCli({"import", dir.path().string(), "--contacts", (dir / source).string()})
                .exitCode,
            1);
    }
}

}  // namespace
}  // namespace lk
