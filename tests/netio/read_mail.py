#!/usr/bin/env python3
"""Takes a stored mail apart with Python's email package, for the support mail tests.

  read_mail.py MAIL.eml OUT_FOLDER
Writes OUT_FOLDER/headers.txt (From display name, From address, To, Subject, the text part's type and
charset, one per line, decoded), OUT_FOLDER/body.txt (the text part's bytes, transfer encoding undone)
and OUT_FOLDER/attachment-<filename> for every attachment.
"""

import email
import email.policy
import email.utils
import os
import sys

with open(sys.argv[1], "rb") as source:
    message = email.message_from_binary_file(source, policy=email.policy.default)
out = sys.argv[2]
body = message.get_body(preferencelist=("plain",))
name, address = email.utils.parseaddr(str(message["From"]))
with open(os.path.join(out, "headers.txt"), "w", encoding="utf-8") as headers:
    headers.write("%s\n%s\n%s\n%s\n%s\n%s\n" % (name, address, message["To"], message["Subject"],
                                                body.get_content_type(), body.get_content_charset()))
with open(os.path.join(out, "body.txt"), "wb") as text:
    text.write(body.get_payload(decode=True))
for part in message.iter_attachments():
    with open(os.path.join(out, "attachment-" + part.get_filename()), "wb") as attachment:
        attachment.write(part.get_payload(decode=True))
