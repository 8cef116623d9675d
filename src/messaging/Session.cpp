#include "Session.h"

#include "AddressLists.h"
#include "Detail.h"
#include "InfoStores.h"
#include "Message.h"
#include <cstdlib>

namespace messaging {

namespace detail {

SessionState::~SessionState()
{
    try {
        close();
    } catch (...) {
        // Nothing can be reported from a destructor; what was not committed is lost.
    }
}

void SessionState::enter()
{
    if (!engine)
        throw Error(ErrorCode::InvalidArgument, "The session is not logged on");
    batch->commitIfOld();
}

int SessionState::writesLostToRollback() noexcept
{
    if (!batch)
        return 0;
    const int lost = batch->lostWrites();
    if (batch->rolledBack()) {
        knownFolders.clear(); // a folder made in the lost transaction is gone again
        prefetched.reset();
    }
    return lost;
}

void SessionState::commitAfterError() noexcept
{
    if (!batch)
        return;
    // Inside a group the caller decides: commit the group or abandon all of it.
    batch->commitQuietly();
    if (batch->rolledBack()) {
        knownFolders.clear();
        prefetched.reset();
    }
}

Error afterError(const SessionPtr &session, const Error &error)
{
    if (!session)
        return error;
    session->commitAfterError();
    const int lost = session->writesLostToRollback();
    if (lost == 0)
        return error;
    return Error(error.number(), error.description() + " (the store undid the session's last " +
                                     std::to_string(lost) + " saved changes)");
}

void SessionState::close()
{
    if (!engine)
        return;
    prefetched.reset();
    knownFolders.clear();
    try {
        batch->end();
    } catch (const store::StoreError &e) {
        // Nothing of the session remains to report with the error but what it lost.
        const int lost = batch->lostWrites();
        batch.reset();
        engine.reset();
        const Error error = translate(e);
        if (lost == 0)
            throw error;
        throw Error(error.number(), error.description() + " (the store undid the session's last " +
                                        std::to_string(lost) + " saved changes)");
    } catch (...) {
        batch.reset();
        engine.reset();
        throw;
    }
    batch.reset();
    engine.reset();
}

} // namespace detail

Session::Session() : Session(defaultStorePath()) {}

Session::Session(std::filesystem::path storePath) : m_state(std::make_shared<detail::SessionState>())
{
    m_state->path = std::move(storePath);
}

Session::~Session() = default;
Session::Session(const Session &) = default;
Session &Session::operator=(const Session &) = default;
Session::Session(Session &&) noexcept = default;
Session &Session::operator=(Session &&) noexcept = default;

void Session::Logon(std::string_view profileName)
{
    detail::guarded(nullptr, "Session.Logon", [&] {
        detail::SessionState &s = *m_state;
        if (s.engine)
            throw Error(ErrorCode::LogonFailed, "The session is already logged on");
        std::error_code ec;
        if (!store::isServerLocation(s.path.native()) && !std::filesystem::is_regular_file(s.path, ec))
            throw Error(ErrorCode::LogonFailed, "Logon failed: store file \"" + s.path.string() + "\" not found");
        std::unique_ptr<store::Engine> engine;
        try {
            engine = store::openEngine(s.path, store::OpenMode::Existing);
            auto profile = engine->profile(profileName);
            if (!profile)
                throw Error(ErrorCode::LogonFailed,
                            "Logon failed: profile \"" + std::string(profileName) + "\" not found in \"" +
                                s.path.string() + "\"");
            s.profile = *profile;
        } catch (const store::StoreError &e) {
            throw Error(ErrorCode::LogonFailed, "Logon failed: " + std::string(e.what()));
        }
        s.guid = engine->guid();
        s.profileName = std::string(profileName);
        s.batch = std::make_unique<store::Batch>(*engine, store::Batch::SessionLimits);
        s.engine = std::move(engine);
    });
}

void Session::Logoff()
{
    detail::guarded(m_state, "Session.Logoff", [&] { m_state->close(); });
}

void Session::beginGroup()
{
    detail::guarded(m_state, "Session.beginGroup", [&] {
        detail::SessionState &s = *m_state;
        if (s.batch->grouped())
            throw Error(ErrorCode::InvalidArgument, "A write group is already open");
        s.batch->beginGroup();
    });
}

void Session::commitGroup()
{
    detail::guarded(m_state, "Session.commitGroup", [&] {
        detail::SessionState &s = *m_state;
        if (!s.batch->grouped())
            throw Error(ErrorCode::InvalidArgument, "No write group is open");
        s.batch->commitGroup();
    });
}

void Session::abandonGroup() noexcept
{
    detail::SessionState &s = *m_state;
    if (!s.batch || !s.batch->grouped())
        return;
    s.batch->abandonGroup();
    s.knownFolders.clear(); // a folder made in the group is gone again
    s.prefetched.reset();
}

bool Session::LoggedOn() const
{
    return m_state->loggedOn();
}

InfoStores Session::InfoStores() const
{
    return detail::guarded(m_state, "Session.InfoStores", [&] { return messaging::InfoStores(m_state); });
}

AddressLists Session::AddressLists() const
{
    return detail::guarded(m_state, "Session.AddressLists", [&] { return messaging::AddressLists(m_state); });
}

Message Session::GetMessage(std::string_view entryId, std::string_view storeId) const
{
    return detail::guarded(m_state, "Session.GetMessage", [&] {
        detail::SessionState &s = *m_state;
        auto notFound = [&] {
            return Error(ErrorCode::NotFound, "Message \"" + std::string(entryId) + "\" not found");
        };
        auto id = detail::parseId(s.guid, detail::IdKind::Message, entryId);
        if (!id)
            throw notFound();
        auto state = std::make_shared<detail::MessageState>();
        state->id = *id;
        // Read when a property is first asked for: deleting a binding message needs no more.
        state->place = s.store().messagePlace(*id);
        if (!state->place)
            throw notFound();
        auto folder = s.store().folder(state->place->folder);
        const store::Id store = folder ? folder->store : 0;
        if (!storeId.empty()) {
            auto wanted = detail::parseId(s.guid, detail::IdKind::Store, storeId);
            if (!wanted || *wanted != store)
                throw notFound();
        }
        if (!s.store().profileSeesStore(s.profile, store))
            throw notFound();
        return Message(m_state, state);
    });
}

const std::filesystem::path &Session::storePath() const
{
    return m_state->path;
}

std::filesystem::path Session::defaultStorePath()
{
    if (const char *env = std::getenv("LARKSPUR_STORE"); env && *env)
        return env;
    if (const char *xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        return std::filesystem::path(xdg) / "larkspur" / "store.db";
    const char *home = std::getenv("HOME");
    return std::filesystem::path(home ? home : ".") / ".local" / "share" / "larkspur" / "store.db";
}

} // namespace messaging
