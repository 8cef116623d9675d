// The mailbox and folder pickers of the action pages.
//
// fillMailboxList logs on with the profile "Administrator", appends to the picker the
// name of every store the profile sees whose name begins with "Mailbox" (exactly those
// seven letters, letter case significant; "Public Folders" is skipped, a store named
// "Mailboxes" is listed), in the session's store order, and logs off. It neither clears
// the list nor selects an entry. Errors are not trapped: a failing logon or store access
// leaves as messaging::Error, and the session is released on the way out.
//
// fillFolderList appends the ten personal folder names in their fixed order; it does
// no messaging.
#pragma once

#include <QStringList>

class QComboBox;

namespace app {

void fillMailboxList(QComboBox *cboMailbox);
void fillFolderList(QComboBox *cboPersonalFolder);

// The ten names fillFolderList appends, in order.
QStringList personalFolderNames();

// Makes an editable picker take its text exactly as typed: no completion, no change of
// letter case, and neither Enter nor leaving the field looks the text up in the list (a
// look-up would put the entry's own text in its place and count as picking that entry,
// which runs the picker's click rule). Picking from the list works as usual.
void keepTypedText(QComboBox *picker);

// Sets a picker's text to `text`: selects the entry of that text when the list has it,
// otherwise (a picker that can be typed into) puts the text in its edit field.
void setPickerText(QComboBox *picker, const QString &text);

} // namespace app
