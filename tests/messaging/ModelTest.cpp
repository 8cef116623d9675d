// A randomized run of operations against the real store and a plain in-memory model
// side by side; after every step both must hold the same messages in the same order.
#include "TestStore.h"

#include <random>

using namespace messaging;
using larkspur::test::sharedCalendar;
using larkspur::test::StoreFixture;

namespace {

struct ModelItem {
    std::string subject;
    std::optional<std::string> stamp;
    bool operator==(const ModelItem &) const = default;
};

// Folder contents in position order.
using Model = std::vector<ModelItem>;

std::ostream &operator<<(std::ostream &os, const ModelItem &i)
{
    return os << "{" << i.subject << " | " << i.stamp.value_or("-") << "}";
}

class ModelTest : public StoreFixture, public ::testing::WithParamInterface<unsigned> {
protected:
    void SetUp() override
    {
        StoreFixture::SetUp();
        ServerAdmin(storePath()).addUser("Ann Lee", std::string("AL"));
        open();
    }
    void open()
    {
        session = std::make_unique<Session>(logon());
        folders[0] = larkspur::test::mailboxFolder(*session, "Ann Lee");
        folders[1] = sharedCalendar(*session);
    }
    Model read(int f)
    {
        Model out;
        for (Message m : folders[f].Messages())
            out.push_back({m.Subject(), m.Stamp()});
        return out;
    }
    std::string randomSubject(std::mt19937 &rng)
    {
        static const char *const prefixes[] = {"AL- ", "al- ", "AL-", "BS- ", "", "A", "Lunch AL- "};
        std::uniform_int_distribution<int> p(0, 6), n(0, 9);
        return std::string(prefixes[p(rng)]) + "x" + std::to_string(n(rng));
    }

    std::unique_ptr<Session> session;
    Folder folders[2] = {Folder(nullptr, 0), Folder(nullptr, 0)};
};

TEST_P(ModelTest, RandomOperationsMatchTheModel)
{
    std::mt19937 rng(GetParam());
    Model model[2];
    auto pick = [&](int upper) { return std::uniform_int_distribution<int>(0, upper - 1)(rng); };
    for (int step = 0; step < 400; ++step) {
        int op = pick(10);
        int f = pick(2);
        Model &m = model[f];
        SCOPED_TRACE("step " + std::to_string(step) + " op " + std::to_string(op));
        switch (op) {
        case 0:
        case 1: { // add
            std::string subject = randomSubject(rng);
            larkspur::test::addItem(folders[f], subject);
            m.push_back({subject, std::nullopt});
            break;
        }
        case 2: { // delete by position
            if (m.empty())
                break;
            int pos = pick(static_cast<int>(m.size()));
            folders[f].Messages().Item(pos + 1).Delete();
            m.erase(m.begin() + pos);
            break;
        }
        case 3: { // stamp and copy to the other folder, as the copy actions do
            if (m.empty())
                break;
            int pos = pick(static_cast<int>(m.size()));
            Message item = folders[f].Messages().Item(pos + 1);
            std::string stamp = "N::" + std::to_string(step) + ":" + item.Subject();
            item.SetStamp(stamp);
            item.Update();
            m[static_cast<std::size_t>(pos)].stamp = stamp;
            Message copy = item.CopyTo(folders[1 - f].ID());
            copy.SetSubject("AL- " + copy.Subject());
            if (pick(4) != 0) {
                copy.Update();
                model[1 - f].push_back({"AL- " + m[static_cast<std::size_t>(pos)].subject, stamp});
            }
            break;
        }
        case 4: { // change a subject without saving, then maybe save
            if (m.empty())
                break;
            int pos = pick(static_cast<int>(m.size()));
            Message item = folders[f].Messages().Item(pos + 1);
            std::string subject = randomSubject(rng);
            item.SetSubject(subject);
            if (pick(2) == 0) {
                item.Update();
                m[static_cast<std::size_t>(pos)].subject = subject;
            }
            break;
        }
        case 5: { // filter and delete
            std::string key = std::vector<std::string>{"AL- ", "al- ", "A", "BS", "x"}[static_cast<std::size_t>(pick(5))];
            Messages messages = folders[f].Messages();
            messages.Filter().SetSubject(key);
            for (Message item : messages)
                item.Delete();
            std::erase_if(m, [&](const ModelItem &i) { return i.subject.rfind(key, 0) == 0; });
            break;
        }
        case 6: { // enumerate, deleting a random share of the members as they come
            Model kept;
            std::size_t i = 0;
            for (Message item : folders[f].Messages()) {
                if (pick(3) == 0)
                    item.Delete();
                else
                    kept.push_back(m[i]);
                ++i;
            }
            EXPECT_EQ(i, m.size());
            m = kept;
            break;
        }
        case 7: { // reverse deletion of the last few by position
            Messages messages = folders[f].Messages();
            int n = messages.Count();
            int count = std::min(n, pick(4));
            for (int k = 0; k < count; ++k)
                messages.Item(n - k).Delete();
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
        }
        ASSERT_EQ(read(0), model[0]);
        ASSERT_EQ(read(1), model[1]);
    }
    session->Logoff();
    EXPECT_TRUE(ServerAdmin(storePath()).check().empty());
}

INSTANTIATE_TEST_SUITE_P(Model, ModelTest, ::testing::Values(1u, 2u, 3u, 20261206u));

} // namespace
