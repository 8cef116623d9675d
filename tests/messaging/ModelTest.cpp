// A randomized run of operations against the real store and a plain in-memory model
// side by side; after every step both must hold the same messages in the same order,
// and at checkpoints the change log must say of each folder what the model saw happen.
#include "TestStore.h"

#include <map>
#include <random>

using namespace larkspur::test;

namespace {

struct ModelItem {
    std::string subject;
    std::optional<std::string> stamp;
    std::string id;
    bool operator==(const ModelItem &) const = default;
};

std::ostream &operator<<(std::ostream &os, const ModelItem &i)
{
    return os << "{" << i.subject << " | " << i.stamp.value_or("-") << "}";
}

// Folder contents in position order.
using Model = std::vector<ModelItem>;

// What happened to the messages (and binding messages) of one folder, in order: the
// message's entry identifier and whether it exists afterwards.
using History = std::vector<std::pair<std::string, bool>>;

// A point of the run: the folder's revision then, and how much of its history was made.
struct Checkpoint {
    std::int64_t revision;
    std::size_t seen;
};

class ModelTest : public StoreFixture, public ::testing::WithParamInterface<unsigned> {
protected:
    void open()
    {
        session = std::make_unique<Session>(logon());
        folders[0] = mailboxFolder(*session);
        folders[1] = sharedCalendar(*session);
    }
    Model read(int f)
    {
        Model out;
        for (Message m : folders[f].Messages())
            out.push_back({m.Subject(), m.Stamp(), m.ID()});
        return out;
    }
    // The log since the checkpoint must name exactly the messages the model saw touched,
    // its last word on each must be whether it still exists, and the folder's revision
    // must be that of its last entry.
    void compareLog(int f, const Checkpoint &cp)
    {
        const FolderChanges got = folders[f].ChangesSince(cp.revision);
        ASSERT_FALSE(got.tooOld);
        std::map<std::string, bool> logged, touched; // message: whether it exists now
        for (std::size_t i = cp.seen; i < history[f].size(); ++i)
            touched[history[f][i].first] = history[f][i].second;
        std::int64_t last = cp.revision;
        for (const FolderChange &c : got.changes) {
            EXPECT_GE(c.revision, last);
            last = c.revision;
            logged[c.entryId] = c.kind != ChangeKind::Deleted && c.kind != ChangeKind::BindingRemoved;
        }
        EXPECT_EQ(logged, touched) << "since revision " << cp.revision;
        EXPECT_EQ(got.revision, last);
    }

    std::unique_ptr<Session> session;
    Folder folders[2] = {Folder(nullptr, 0), Folder(nullptr, 0)};
    History history[2];
};

TEST_P(ModelTest, RandomOperationsMatchTheModel)
{
    open();
    std::mt19937 rng(GetParam());
    Model model[2];
    auto pick = [&](std::size_t upper) { return std::uniform_int_distribution<std::size_t>(0, upper - 1)(rng); };
    auto randomSubject = [&] {
        // LIKE's wildcards and bytes past 0x7F are literal to the subject filter.
        static const char *const prefixes[] = {"AL- ", "al- ", "AL-", "BS- ", "", "A", "Lunch AL- ", "AL_ ", "AL% ",
                                               "\xFF\xFF "};
        return prefixes[pick(10)] + ("x" + std::to_string(pick(10)));
    };
    std::vector<Checkpoint> checkpoints[2];
    auto touch = [&](std::size_t f, const std::string &id, bool exists) { history[f].emplace_back(id, exists); };
    auto bindingIds = [&](std::size_t f) {
        auto events = Events::Create("MSExchange.Events");
        events->SetSession(*session);
        std::vector<std::string> ids;
        for (Binding b : events->BoundFolder(folders[f], true).Bindings())
            ids.push_back(b.EntryID());
        return ids;
    };
    for (int step = 0; step < 400; ++step) {
        const std::size_t op = pick(13), f = pick(2);
        Model &m = model[f];
        SCOPED_TRACE("step " + std::to_string(step) + " op " + std::to_string(op));
        const std::size_t pos = m.empty() ? 0 : pick(m.size());
        const auto position = static_cast<std::int32_t>(pos + 1);
        switch (op) {
        case 0:
        case 1: { // add
            std::string subject = randomSubject();
            m.push_back({subject, std::nullopt, addItem(folders[f], subject).ID()});
            touch(f, m.back().id, true);
            break;
        }
        case 2: // delete by position
            if (!m.empty()) {
                folders[f].Messages().Item(position).Delete();
                touch(f, m[pos].id, false);
                m.erase(m.begin() + static_cast<std::ptrdiff_t>(pos));
            }
            break;
        case 3: // stamp and copy to the other folder, as the copy actions do; maybe drop the copy
            if (!m.empty()) {
                Message item = folders[f].Messages().Item(position);
                std::string stamp = "N::" + std::to_string(step) + ":" + item.Subject();
                item.SetStamp(stamp);
                item.Update();
                m[pos].stamp = stamp;
                touch(f, m[pos].id, true);
                Message copy = item.CopyTo(folders[1 - f].ID());
                copy.SetSubject("AL- " + copy.Subject());
                if (pick(4) != 0) {
                    copy.Update();
                    model[1 - f].push_back({"AL- " + m[pos].subject, stamp, copy.ID()});
                    touch(1 - f, copy.ID(), true);
                }
            }
            break;
        case 4: // change a subject, then maybe save
            if (!m.empty()) {
                Message item = folders[f].Messages().Item(position);
                std::string subject = randomSubject();
                item.SetSubject(subject);
                if (pick(2) == 0) {
                    item.Update();
                    m[pos].subject = subject;
                    touch(f, m[pos].id, true);
                }
            }
            break;
        case 5: { // filter (the members in position order) and delete
            const std::string key =
                std::vector<std::string>{"AL- ", "al- ", "A", "BS", "x", "AL_", "AL%", "\xFF", ""}[pick(9)];
            const auto matches = [&](const ModelItem &i) { return i.subject.rfind(key, 0) == 0; };
            Messages messages = folders[f].Messages();
            messages.Filter().SetSubject(key);
            EXPECT_EQ(messages.Count(), std::count_if(m.begin(), m.end(), matches));
            std::vector<std::string> got, expected;
            for (Message item : messages) {
                got.push_back(item.Subject());
                item.Delete();
            }
            for (const ModelItem &i : m)
                if (matches(i)) {
                    expected.push_back(i.subject);
                    touch(f, i.id, false);
                }
            EXPECT_EQ(got, expected);
            std::erase_if(m, matches);
            break;
        }
        case 6: { // enumerate, deleting a random share of the members as they come
            Model kept;
            std::size_t i = 0;
            for (Message item : folders[f].Messages()) {
                if (pick(3) == 0) {
                    item.Delete();
                    touch(f, m[i].id, false);
                } else
                    kept.push_back(m[i]);
                ++i;
            }
            EXPECT_EQ(i, m.size());
            m = kept;
            break;
        }
        case 7: { // reverse deletion of the last few by position
            Messages messages = folders[f].Messages();
            const std::int32_t n = messages.Count();
            const auto count = std::min(n, static_cast<std::int32_t>(pick(4)));
            for (std::int32_t k = 0; k < count; ++k) {
                messages.Item(n - k).Delete();
                touch(f, m[m.size() - 1 - static_cast<std::size_t>(k)].id, false);
            }
            m.resize(m.size() - static_cast<std::size_t>(count));
            break;
        }
        case 8: // log off and on again
            session->Logoff();
            open();
            break;
        case 9: // drop the session without logging off
            session.reset();
            open();
            break;
        case 10: { // install a script binding, as the script pages do
            auto events = Events::Create("MSExchange.Events");
            events->SetSession(*session);
            int done = 0;
            touch(f, installScript(*events, *session, folders[f], "Script", "\r\nx", done), true);
            break;
        }
        case 11: // delete the folder's bindings, as the script pages do
            for (const std::string &id : bindingIds(f)) {
                session->GetMessage(id).Delete();
                touch(f, id, false);
            }
            break;
        case 12: // a checkpoint: the log since every earlier one says what the model saw
            for (const Checkpoint &cp : checkpoints[f])
                compareLog(static_cast<int>(f), cp);
            checkpoints[f].push_back({folders[f].Revision(), history[f].size()});
            break;
        }
        ASSERT_EQ(read(0), model[0]);
        ASSERT_EQ(read(1), model[1]);
    }
    for (int f = 0; f < 2; ++f) {
        for (const Checkpoint &cp : checkpoints[f])
            compareLog(f, cp);
        // A fresh store's log reaches back to its beginning; a revision it never had is
        // answered with "read everything".
        compareLog(f, {0, 0});
        EXPECT_TRUE(folders[f].ChangesSince(folders[f].Revision() + 1000000).tooOld);
    }
    session->Logoff();
    EXPECT_TRUE(consistent());
}

INSTANTIATE_TEST_SUITE_P(Model, ModelTest, ::testing::Values(1u, 2u, 3u, 20261206u));

} // namespace
