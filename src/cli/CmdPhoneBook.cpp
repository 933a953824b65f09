#include <array>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CliCard.h"
#include "Command.h"
#include "app/LangString.h"
#include "app/Settings.h"
#include "card/CallLog.h"
#include "phonebook/PhoneBookFile.h"
#include "platform/TextCodec.h"

namespace lk::cli {

namespace {

// What the contact window's boxes accept before the file's widths cut further.
constexpr std::size_t kNameBoxChars = 35;
constexpr std::size_t kNumberBoxChars = 30;
constexpr int kFullMessage = 188;
constexpr int kFirstTypeString = 182;

struct PhoneBookOptions {
    std::string card;
    bool json = false;
    std::optional<std::string> name;
    std::array<std::optional<std::string>, ContactRecord::kNumberCount> numbers;
    std::optional<int> type;
    std::vector<int> positions;
};

std::u16string NameBoxText(const std::string& text) {
    std::u16string name = FromUtf8(text);
    if (name.size() > kNameBoxChars) name.resize(kNameBoxChars);
    return DropTrailingNonAscii(std::move(name));
}

std::u16string NumberBoxText(const std::string& text, std::size_t which) {
    for (char c : text)
        if (c < '0' || c > '9')
            throw CLI::ValidationError("--number" + std::to_string(which + 1),
                                       "digits only, got \"" + text + "\"");
    std::u16string number = FromUtf8(text);
    if (number.size() > kNumberBoxChars) number.resize(kNumberBoxChars);
    return number;
}

std::string TypeText(int type) {
    if (type < 0 || type >= kRecordingTypeCount) return "";
    const std::string text = LangString(kFirstTypeString + type);
    return text.empty() ? std::to_string(type) : text;
}

nlohmann::json EntryJson(const PhoneBookEntry& e, const std::string& codePage) {
    auto numbers = nlohmann::json::array();
    for (std::size_t i = 0; i < ContactRecord::kNumberCount; ++i)
        numbers.push_back(ToUtf8(e.record.Number(i, codePage)));
    return nlohmann::json{{"position", e.position},
                          {"name", ToUtf8(e.record.Name(codePage))},
                          {"numbers", numbers},
                          {"type", e.record.RecordingType()}};
}

std::string WriteError(PhoneBookWrite w, const std::filesystem::path& file, int position) {
    switch (w) {
        case PhoneBookWrite::Full: {
            const std::string text = LangString(kFullMessage);
            return text.empty() ? "the phone book holds 50 contacts already" : text;
        }
        case PhoneBookWrite::BadFile:
            return file.string() + " is damaged (its size is not a multiple of 155 bytes)";
        case PhoneBookWrite::NoSuchEntry:
            return "no contact at position " + std::to_string(position);
        case PhoneBookWrite::IoError:
            return "cannot write " + file.string();
        case PhoneBookWrite::Done:
            break;
    }
    return "";
}

struct OpenedBook {
    std::filesystem::path file;
    PhoneBookLoad load;
};

std::optional<OpenedBook> OpenBook(const PhoneBookOptions& o, bool mustExist) {
    if (o.card.empty()) throw CLI::ValidationError("phonebook", "--card DIR is required");
    const auto card = CardVolumeForDir(o.card);
    if (!card) {
        return std::nullopt;
    }
    OpenedBook book{card->root / kPhoneBookFileName, {}};
    book.load = LoadPhoneBook(book.file);
    if (mustExist && !book.load.found) {
        PrintError("cannot read " + book.file.string());
        return std::nullopt;
    }
    return book;
}

const PhoneBookEntry* FindEntry(const PhoneBookLoad& load, int position) {
    for (const auto& e : load.contacts)
        if (e.position == position) return &e;
    return nullptr;
}

int RunList(const PhoneBookOptions& o) {
    const auto book = OpenBook(o, true);
    if (!book) return kExitFailure;
    const std::string codePage = CardCodePage();
    if (o.json) {
        auto out = nlohmann::json::array();
        for (const auto& e : book->load.contacts)
            out.push_back(EntryJson(e, codePage));
        std::cout << out.dump(2) << '\n';
        return kExitOk;
    }
    if (!book->load.sizeValid) std::cout << book->file.string() << " is damaged: nothing listed\n";
    for (const auto& e : book->load.contacts) {
        std::cout << e.position << "  " << ToUtf8(e.record.Name(codePage));
        for (std::size_t i = 0; i < ContactRecord::kNumberCount; ++i)
            std::cout << "  " << ToUtf8(e.record.Number(i, codePage));
        std::cout << "  " << TypeText(e.record.RecordingType()) << '\n';
    }
    return kExitOk;
}

int Report(const PhoneBookOptions& o, const nlohmann::json& json, const std::string& text) {
    if (o.json)
        std::cout << json.dump(2) << '\n';
    else
        std::cout << text << '\n';
    return kExitOk;
}

int RunAdd(const PhoneBookOptions& o) {
    const int type = o.type.value_or(0);
    if (type < 0 || type >= kRecordingTypeCount)
        throw CLI::ValidationError("--type", "recording type is 0, 1 or 2");
    std::array<std::u16string, ContactRecord::kNumberCount> numbers;
    for (std::size_t i = 0; i < numbers.size(); ++i)
        if (o.numbers[i]) numbers[i] = NumberBoxText(*o.numbers[i], i);
    const auto book = OpenBook(o, false);
    if (!book) return kExitFailure;
    const auto record =
        BuildContactRecord(NameBoxText(o.name.value_or("")), numbers, type, CardCodePage());
    int position = -1;
    const auto w = AddContact(book->file, record, &position);
    if (w != PhoneBookWrite::Done) {
        PrintError(WriteError(w, book->file, position));
        return kExitFailure;
    }
    return Report(o, {{"position", position}}, "added at position " + std::to_string(position));
}

int RunChange(const PhoneBookOptions& o) {
    if (o.positions.size() != 1)
        throw CLI::ValidationError("--position", "change takes one position");
    const int position = o.positions.front();
    if (o.type && (*o.type < 0 || *o.type >= kRecordingTypeCount))
        throw CLI::ValidationError("--type", "recording type is 0, 1 or 2");
    const auto book = OpenBook(o, true);
    if (!book) return kExitFailure;
    const auto* entry = FindEntry(book->load, position);
    if (entry == nullptr) {
        PrintError(WriteError(PhoneBookWrite::NoSuchEntry, book->file, position));
        return kExitFailure;
    }
    // As the window does: start from the shown texts, apply the edits, build
    // the record anew from zeros.
    const std::string codePage = CardCodePage();
    std::u16string name = entry->record.Name(codePage);
    if (o.name) name = NameBoxText(*o.name);
    std::array<std::u16string, ContactRecord::kNumberCount> numbers;
    for (std::size_t i = 0; i < numbers.size(); ++i)
        numbers[i] =
            o.numbers[i] ? NumberBoxText(*o.numbers[i], i) : entry->record.Number(i, codePage);
    const int type = o.type.value_or(entry->record.RecordingType());
    const auto w =
        ChangeContact(book->file, position, BuildContactRecord(name, numbers, type, codePage));
    if (w != PhoneBookWrite::Done) {
        PrintError(WriteError(w, book->file, position));
        return kExitFailure;
    }
    return Report(o, {{"position", position}}, "changed position " + std::to_string(position));
}

int RunDelete(const PhoneBookOptions& o) {
    if (o.positions.empty()) throw CLI::ValidationError("--position", "give at least one position");
    const auto book = OpenBook(o, true);
    if (!book) return kExitFailure;
    for (int position : o.positions) {
        if (FindEntry(book->load, position) == nullptr) {
            PrintError(WriteError(PhoneBookWrite::NoSuchEntry, book->file, position));
            return kExitFailure;
        }
    }
    for (int position : o.positions) {
        const auto w = DeleteContact(book->file, position);
        if (w != PhoneBookWrite::Done) {
            PrintError(WriteError(w, book->file, position));
            return kExitFailure;
        }
    }
    return Report(o, {{"deleted", o.positions}},
                  "deleted " + std::to_string(o.positions.size()) + " contacts");
}

void AddContactFields(CLI::App* cmd, PhoneBookOptions& o) {
    cmd->add_option("--name", o.name, "Name (35 characters at most; stored with 34 bytes)");
    for (std::size_t i = 0; i < ContactRecord::kNumberCount; ++i)
        cmd->add_option("--number" + std::to_string(i + 1), o.numbers[i],
                        "Number " + std::to_string(i + 1) + " (digits)");
    cmd->add_option("--type", o.type, "Recording type 0, 1 or 2");
}

}  // namespace

void AddPhoneBookCommand(CLI::App& app, CommandContext& ctx) {
    auto o = std::make_shared<PhoneBookOptions>();
    auto* cmd = app.add_subcommand(
        "phonebook", "List or edit the phone book (PhoneBook.dat) of a family-1 card");
    cmd->add_option("--card", o->card, "Card folder");
    cmd->add_flag("--json", o->json, "Print JSON");

    auto* add = cmd->add_subcommand("add", "Append a contact (50 in use at most)");
    add->fallthrough();
    AddContactFields(add, *o);
    add->callback([o, &ctx] { ctx.exitCode = RunAdd(*o); });

    auto* change = cmd->add_subcommand("change", "Change the contact at a position");
    change->fallthrough();
    change->add_option("--position", o->positions, "Position of the contact in the file")
        ->required();
    AddContactFields(change, *o);
    change->callback([o, &ctx] { ctx.exitCode = RunChange(*o); });

    auto* del = cmd->add_subcommand(
        "delete", "Delete the contacts at the positions (their records stay, unused)");
    del->fallthrough();
    del->add_option("--position", o->positions, "Position of a contact in the file")->required();
    del->callback([o, &ctx] { ctx.exitCode = RunDelete(*o); });

    cmd->callback([cmd, o, &ctx] {
        if (cmd->get_subcommands().empty()) ctx.exitCode = RunList(*o);
    });
}

}  // namespace lk::cli
