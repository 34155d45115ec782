#!/usr/bin/env python3
"""The rule of check_layers.py that keeps the shells off the add-in's user
interface, on made-up files: what it must find and what it must let pass."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_layers  # noqa: E402

CASES = [
    # (file, its text, offences expected)
    ('linux/cli/mark_spam_command.cc', '#include "addin/mail_commands.h"\n', 1),
    ('linux/watch/mail_session.cc', '#include "addin/toolbar.h"\n', 1),
    ('linux/cli/sender_list_command.cc', '#include "lists/list_dialog.h"\n', 1),
    ('win/com/com_addin.cc', '#include "settings/settings_dialog.h"\n', 1),
    ('linux/cli/headers_command.cc', 'host.Click ( "Mail Header" );\n', 1),
    ('linux/cli/train_command.cc', '#include "mail/train_dialog.h"\n', 0),
    ('linux/cli/train_command.cc', '#include "settings/settings_dialog.h"\n', 1),
    ('linux/dialogs/console_dialog_runner.cc', '#include "mail/folder_pickers.h"\n', 0),
    ('linux/dialogs/console_dialog_runner.cc', 'view.Click(kIdOkButton);\n', 0),
    ('addin/toolbar.cc', '#include "addin/mail_commands.h"\n', 0),
    ('linux/cli/learn_command.cc', '#include "mail/mark_commands.h"\n', 0),
]


def main():
    include = check_layers.re.compile(r'^\s*#\s*include\s+"([^"]+)"', check_layers.re.M)
    failed = 0
    for path, text, expected in CASES:
        found = check_layers.user_interface_offences(path, text, include.findall(text))
        if len(found) != expected:
            failed += 1
            print(f'{path} with {text.strip()!r}: {len(found)} offences, {expected} expected: {found}')
    print(f'{len(CASES)} cases, {failed} failed')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
