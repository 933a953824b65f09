#include <iostream>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "CliCard.h"
#include "Command.h"
#include "phonebook/ContactLibrary.h"
#include "platform/TextCodec.h"

namespace lk::cli {

namespace {

struct ContactsOptions {
    std::string vcard;
    bool json = false;
};

int RunContacts(const ContactsOptions& o) {
    ContactList contacts;
    const auto read = LoadContactsFrom(o.vcard, contacts);
    if (!read.Ok()) {
        PrintError(read.message);
        return kExitFailure;
    }
    // Some files of a folder could not be read: the others still count.
    if (!read.message.empty()) std::cerr << "linekeeper-cli: " << read.message << '\n';
    auto out = nlohmann::json::array();
    for (const auto& c : contacts) {
        auto numbers = nlohmann::json::array();
        for (const auto& n : c.numbers)
            numbers.push_back(ToUtf8(FieldText(n)));
        out.push_back({{"name", ToUtf8(FieldText(c.displayName))}, {"numbers", numbers}});
    }
    if (o.json) {
        std::cout << out.dump(2) << '\n';
        return kExitOk;
    }
    for (const auto& c : out) {
        std::cout << c["name"].get<std::string>();
        for (const auto& n : c["numbers"])
            if (!n.get<std::string>().empty()) std::cout << "  " << n.get<std::string>();
        std::cout << '\n';
    }
    return kExitOk;
}

}  // namespace

void AddContactsCommand(CLI::App& app, CommandContext& ctx) {
    auto o = std::make_shared<ContactsOptions>();
    auto* cmd = app.add_subcommand(
        "contacts", "List the contacts the contact library reads from a vCard file or folder");
    cmd->add_option("--vcard", o->vcard, "vCard file (2.1, 3.0 or 4.0), or a folder of .vcf files")
        ->required();
    cmd->add_flag("--json", o->json, "Print JSON");
    cmd->callback([o, &ctx] { ctx.exitCode = RunContacts(*o); });
}

}  // namespace lk::cli
