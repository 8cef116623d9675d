#include "FolderPath.h"

#include "core/Error.h"
#include "messaging/InfoStores.h"
#include "messaging/ServerAdmin.h"

#include <stdexcept>

namespace larkspur {

namespace {

std::string storeList(const messaging::InfoStores &stores)
{
    std::string list;
    for (std::int32_t i = 1; i <= stores.Count(); ++i) {
        if (!list.empty())
            list += ", ";
        list += "\"" + stores.Item(i).Name() + "\"";
    }
    return list;
}

// Whether `path` names the store `name` or something in it.
bool inStore(std::string_view path, std::string_view name)
{
    return path.substr(0, name.size()) == name && (path.size() == name.size() || path[name.size()] == '/');
}

} // namespace

messaging::Folder resolveFolder(const messaging::Session &session, std::string_view path)
{
    if (path.empty())
        throw std::runtime_error("empty folder path");
    const messaging::InfoStores stores = session.InfoStores();
    std::int32_t best = 0;
    std::size_t bestLength = 0;
    for (std::int32_t i = 1; i <= stores.Count(); ++i) {
        const std::string name = stores.Item(i).Name();
        if (!inStore(path, name))
            continue;
        // Two store names that both begin the path ("Mailbox - Ann Lee" and a mailbox
        // named "Mailbox - Ann Lee/Calendar"): neither is taken over the other.
        if (best != 0)
            throw std::runtime_error("the folder path \"" + std::string(path) + "\" is ambiguous: it may name a folder of \""
                                     + stores.Item(best).Name() + "\" or of \"" + name + "\"");
        best = i;
        bestLength = name.size();
    }
    if (best == 0) {
        const std::string_view store = path.substr(0, path.find('/'));
        for (const messaging::UserInfo &u : messaging::ServerAdmin(session.storePath()).users())
            if (u.mailbox && inStore(path, *u.mailbox) && !u.shared)
                throw std::runtime_error("the mailbox \"" + *u.mailbox
                                         + "\" is not shared to the Administrator profile; run: larkspur-store share \""
                                         + *u.mailbox + "\"");
        throw std::runtime_error("no store \"" + std::string(store) + "\" (the stores are " + storeList(stores) + ")");
    }
    messaging::Folder folder = stores.Item(best).RootFolder();
    std::string walked = stores.Item(best).Name();
    std::string_view rest = path.substr(bestLength);
    while (!rest.empty()) {
        rest.remove_prefix(1); // the '/'
        const std::size_t slash = rest.find('/');
        const std::string_view name = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
        if (name.empty())
            throw std::runtime_error("empty folder name in \"" + std::string(path) + "\"");
        try {
            folder = folder.Folders().Item(name);
        } catch (const messaging::Error &) {
            throw std::runtime_error("no folder \"" + std::string(name) + "\" in \"" + walked + "\"");
        }
        walked += "/" + std::string(name);
    }
    return folder;
}

} // namespace larkspur
