// dump and bindings: a folder's messages and its event bindings, as text or JSON.
#include "Commands.h"
#include "FolderPath.h"

#include "core/Error.h"
#include "ical/DayNumber.h"
#include "messaging/Events.h"
#include "messaging/Message.h"
#include "messaging/Messages.h"
#include "messaging/PropTags.h"
#include "messaging/Session.h"

#include <nlohmann/json.hpp>

#include <iostream>
#include <memory>

namespace larkspur {

namespace {

using Json = nlohmann::ordered_json;

Json optionalText(const std::optional<std::string> &s)
{
    return s ? Json(*s) : Json(nullptr);
}

Json timeJson(const std::optional<double> &dayNumber)
{
    return dayNumber ? Json(formatIso(fromDayNumber(*dayNumber))) : Json(nullptr);
}

Json messageJson(const messaging::Message &m)
{
    Json j;
    j["entry_id"] = m.ID();
    j["subject"] = m.Subject();
    j["text"] = m.Text();
    j["sensitivity"] = m.Sensitivity();
    const auto categories = m.Categories();
    j["categories"] = categories ? Json(*categories) : Json::array();
    j["all_day"] = m.AllDayEvent() != 0;
    j["location"] = optionalText(m.Location());
    j["start"] = timeJson(m.StartTime());
    j["end"] = timeJson(m.EndTime());
    j["stamp"] = optionalText(m.Stamp());
    return j;
}

} // namespace

void addDumpCommands(CLI::App &app, Context &ctx)
{
    struct Options {
        std::string folder;
        bool json = false;
    };
    auto dump = std::make_shared<Options>();
    CLI::App *dumpCmd = app.add_subcommand("dump", "Show a folder's messages in position order");
    dumpCmd->add_option("FOLDER", dump->folder, "Folder path \"STORE/FOLDER/...\"")->required();
    dumpCmd->add_flag("--json", dump->json, "As a JSON array");
    dumpCmd->callback([dump, &ctx] {
        messaging::Session session(ctx.existingStore());
        session.Logon("Administrator");
        messaging::Folder folder = resolveFolder(session, dump->folder);
        Json all = Json::array();
        for (messaging::Message m : folder.Messages())
            all.push_back(messageJson(m));
        session.Logoff();
        if (dump->json) {
            std::cout << all.dump(2) << "\n";
            return;
        }
        int position = 0;
        for (const Json &j : all) {
            std::cout << ++position << "\t" << j["subject"].get<std::string>();
            if (!j["start"].is_null())
                std::cout << "\t" << j["start"].get<std::string>() << " - "
                          << (j["end"].is_null() ? std::string() : j["end"].get<std::string>());
            if (j["all_day"].get<bool>())
                std::cout << "\tall day";
            if (!j["location"].is_null())
                std::cout << "\t@ " << j["location"].get<std::string>();
            if (j["sensitivity"].get<int>() != 0)
                std::cout << "\tsensitivity " << j["sensitivity"].get<int>();
            if (!j["categories"].empty()) {
                std::cout << "\t[";
                for (std::size_t i = 0; i < j["categories"].size(); ++i)
                    std::cout << (i ? ", " : "") << j["categories"][i].get<std::string>();
                std::cout << "]";
            }
            if (!j["stamp"].is_null())
                std::cout << "\tstamp " << j["stamp"].get<std::string>();
            std::cout << "\t" << j["entry_id"].get<std::string>() << "\n";
        }
    });

    auto bindings = std::make_shared<Options>();
    CLI::App *bindCmd = app.add_subcommand("bindings", "Show a folder's event bindings");
    bindCmd->add_option("FOLDER", bindings->folder, "Folder path \"STORE/FOLDER/...\"")->required();
    bindCmd->add_flag("--json", bindings->json, "As a JSON array");
    bindCmd->callback([bindings, &ctx] {
        messaging::Session session(ctx.existingStore());
        session.Logon("Administrator");
        messaging::Folder folder = resolveFolder(session, bindings->folder);
        std::unique_ptr<messaging::Events> events = messaging::Events::Create("MSExchange.Events");
        events->SetSession(session);
        Json all = Json::array();
        std::optional<messaging::BoundFolder> bound;
        try {
            bound = events->BoundFolder(folder, false);
        } catch (const messaging::Error &e) {
            if (e.number() != messaging::ErrorCode::NotFound)
                throw;
        }
        if (bound) {
            for (messaging::Binding b : bound->Bindings()) {
                Json j;
                j["entry_id"] = b.EntryID();
                j["name"] = b.Name();
                j["active"] = b.Active();
                j["event_mask"] = b.EventMask();
                j["handler_class_id"] = b.HandlerClassID();
                messaging::Field script =
                    session.GetMessage(b.EntryID(), "").Fields().Item(messaging::PropTag::ScriptText);
                j["script"] = script.Exists() ? Json(script.Text()) : Json(nullptr);
                all.push_back(std::move(j));
            }
        }
        session.Logoff();
        if (bindings->json) {
            std::cout << all.dump(2) << "\n";
            return;
        }
        for (const Json &j : all)
            std::cout << j["name"].get<std::string>() << "\t" << (j["active"].get<bool>() ? "active" : "inactive")
                      << "\tmask " << j["event_mask"].get<int>() << "\t" << j["handler_class_id"].get<std::string>()
                      << "\t" << j["entry_id"].get<std::string>() << "\n";
    });
}

} // namespace larkspur
