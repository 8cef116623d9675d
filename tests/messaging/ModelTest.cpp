// A randomized run of operations against the real store and a plain in-memory model
// side by side; after every step both must hold the same messages in the same order.
#include "TestStore.h"

#include <random>

using namespace larkspur::test;

namespace {

struct ModelItem {
    std::string subject;
    std::optional<std::string> stamp;
    bool operator==(const ModelItem &) const = default;
};

std::ostream &operator<<(std::ostream &os, const ModelItem &i)
{
    return os << "{" << i.subject << " | " << i.stamp.value_or("-") << "}";
}

// Folder contents in position order.
using Model = std::vector<ModelItem>;

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
            out.push_back({m.Subject(), m.Stamp()});
        return out;
    }

    std::unique_ptr<Session> session;
    Folder folders[2] = {Folder(nullptr, 0), Folder(nullptr, 0)};
};

TEST_P(ModelTest, RandomOperationsMatchTheModel)
{
    open();
    std::mt19937 rng(GetParam());
    Model model[2];
    auto pick = [&](std::size_t upper) { return std::uniform_int_distribution<std::size_t>(0, upper - 1)(rng); };
    auto randomSubject = [&] {
        static const char *const prefixes[] = {"AL- ", "al- ", "AL-", "BS- ", "", "A", "Lunch AL- "};
        return prefixes[pick(7)] + ("x" + std::to_string(pick(10)));
    };
    for (int step = 0; step < 400; ++step) {
        const std::size_t op = pick(10), f = pick(2);
        Model &m = model[f];
        SCOPED_TRACE("step " + std::to_string(step) + " op " + std::to_string(op));
        const std::size_t pos = m.empty() ? 0 : pick(m.size());
        const auto position = static_cast<std::int32_t>(pos + 1);
        switch (op) {
        case 0:
        case 1: { // add
            std::string subject = randomSubject();
            addItem(folders[f], subject);
            m.push_back({subject, std::nullopt});
            break;
        }
        case 2: // delete by position
            if (!m.empty()) {
                folders[f].Messages().Item(position).Delete();
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
                Message copy = item.CopyTo(folders[1 - f].ID());
                copy.SetSubject("AL- " + copy.Subject());
                if (pick(4) != 0) {
                    copy.Update();
                    model[1 - f].push_back({"AL- " + m[pos].subject, stamp});
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
                }
            }
            break;
        case 5: { // filter and delete
            const std::string key = std::vector<std::string>{"AL- ", "al- ", "A", "BS", "x"}[pick(5)];
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
            const std::int32_t n = messages.Count();
            const auto count = std::min(n, static_cast<std::int32_t>(pick(4)));
            for (std::int32_t k = 0; k < count; ++k)
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
    EXPECT_TRUE(consistent());
}

INSTANTIATE_TEST_SUITE_P(Model, ModelTest, ::testing::Values(1u, 2u, 3u, 20261206u));

} // namespace
