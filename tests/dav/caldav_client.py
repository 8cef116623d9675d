"""What a CalDAV client does against larkspur-dav, with Debian's python3-caldav.

    caldav_client.py URL USER PASSWORD survey START END
        discovers the principal from URL, lists the calendars, searches each for events
        between START and END (UTC, YYYYMMDDTHHMMSS) and reads them; prints JSON.
    caldav_client.py URL USER PASSWORD sync CALENDAR-NAME [TOKEN]
        syncs that calendar from TOKEN (nothing: from scratch); prints the updated and
        deleted resource names and the new token as JSON.
"""
import datetime
import json
import sys

import caldav


def utc(text):
    return datetime.datetime.strptime(text, "%Y%m%dT%H%M%S").replace(tzinfo=datetime.timezone.utc)


def name_of(obj):
    return str(obj.url).rstrip("/").rsplit("/", 1)[-1]


def main():
    url, user, password, mode = sys.argv[1:5]
    client = caldav.DAVClient(url=url, username=user, password=password, timeout=20)
    calendars = client.principal().calendars()
    if mode == "survey":
        out = {}
        for cal in calendars:
            found = cal.date_search(start=utc(sys.argv[5]), end=utc(sys.argv[6]), expand=False)
            out[cal.name] = sorted(str(e.vobject_instance.vevent.summary.value) for e in found)
        print(json.dumps(out))
        return
    cal = next(c for c in calendars if c.name == sys.argv[5])
    token = sys.argv[6] if len(sys.argv) > 6 else None
    if token is None:
        collection = cal.objects_by_sync_token()
        print(json.dumps({"updated": sorted(name_of(o) for o in collection), "deleted": [],
                          "token": collection.sync_token}))
        return
    collection = caldav.objects.SynchronizableCalendarObjectCollection(calendar=cal, objects=[], sync_token=token)
    updated, deleted = collection.sync()
    print(json.dumps({"updated": sorted(name_of(o) for o in updated),
                      "deleted": sorted(name_of(o) for o in deleted), "token": collection.sync_token}))


main()
