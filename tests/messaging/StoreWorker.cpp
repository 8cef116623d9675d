// A second program writing to a store, for the tests that need another process.
//
//   store_worker STORE PREFIX COUNT
// adds COUNT items "<PREFIX><n>" (n from 1) to the shared calendar, one Update each,
// then logs off. On an error it prints the error's number and description and exits 3.
#include "core/Error.h"
#include "messaging/Folder.h"
#include "messaging/Message.h"
#include "messaging/Messages.h"
#include "messaging/Session.h"
#include "messaging/SharedCalendar.h"

#include <cstdio>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: store_worker STORE PREFIX COUNT\n");
        return 2;
    }
    try {
        messaging::Session session{std::filesystem::path(argv[1])};
        session.Logon("Administrator");
        messaging::Folder calendar = messaging::sharedCalendar(session);
        for (int i = 1; i <= std::stoi(argv[3]); ++i) {
            messaging::Message m = calendar.Messages().Add();
            m.SetSubject(std::string(argv[2]) + std::to_string(i));
            m.Update();
        }
        session.Logoff();
    } catch (const messaging::Error &e) {
        std::printf("%d %s\n", e.number(), e.description().c_str());
        return 3;
    }
    return 0;
}
