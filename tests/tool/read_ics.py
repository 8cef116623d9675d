#!/usr/bin/python3
# Reads an iCalendar file with python3-icalendar (an independent reader) and prints
# its events as JSON: uid, summary, class, categories, dtstart. Exits non-zero when the
# file cannot be read.
import json
import sys

import icalendar


def main(path):
    with open(path, 'rb') as f:
        cal = icalendar.Calendar.from_ical(f.read())
    events = []
    for ev in cal.walk('VEVENT'):
        cats = ev.get('CATEGORIES')
        values = []
        for c in (cats if isinstance(cats, list) else [cats] if cats is not None else []):
            values.extend(str(x) for x in c.cats)
        start = ev.get('DTSTART')
        events.append({
            'uid': str(ev.get('UID')),
            'summary': str(ev.get('SUMMARY', '')),
            'class': str(ev.get('CLASS', '')),
            'categories': values,
            'dtstart': start.dt.isoformat() if start is not None else None,
        })
    print(json.dumps({'version': str(cal.get('VERSION')), 'prodid': str(cal.get('PRODID')),
                      'events': events}))


if __name__ == '__main__':
    main(sys.argv[1])
