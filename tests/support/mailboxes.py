#!/usr/bin/python3
# Writes the same mails, with attachments of the kinds that trip a mail reader, into a mailbox
# of every kind Python's mailbox package knows (and the variants made from them by hand), and
# writes each attachment as Python's email package decodes it into PEER/.
#
#   mailboxes.py DIR SEED
#
# DIR/mbox, DIR/mboxrd, DIR/mmdf, DIR/babyl, DIR/bom.mbox, DIR/cr.mbox, DIR/crlf.mbox: one
# file each; DIR/maildir and DIR/mh: folders of one file per mail; DIR/peer: the attachments.
import email
import email.policy
import mailbox
import os
import random
import re
import sys
from email.message import EmailMessage

out, seed = sys.argv[1], int(sys.argv[2])
rng = random.Random(seed)
os.makedirs(out + '/peer', exist_ok=True)


def text_with_traps(k):
    # Prose that looks like mbox and header framing, in the middle of a named text file.
    return ('Notes %d\n\nFrom here on the text goes on.\n>From a quoted line\n\n'
            'From me Tue Dec  8 07:35:53 2026, a line that looks like mbox framing\n\n'
            'Subject: not a header\nDate: neither\n\nFrom the start of the end\n' % k)


def mail(k):
    m = EmailMessage()
    m['From'] = 'Poster %d <p%d@example.org>' % (k, k)
    m['To'] = 'list@example.org'
    m['Subject'] = 'files %d' % k
    m['Message-ID'] = '<m%d.%d@example.org>' % (seed, k)
    m.set_content('Hello,\n\nFrom Monday on, the files are here.\n\nFrom: me\n')
    binary = bytes(rng.randrange(256) for _ in range(rng.randrange(2000, 9000)))
    m.add_attachment(binary, maintype='application', subtype='octet-stream',
                     filename='data%d.bin' % k)
    m.add_attachment(text_with_traps(k), subtype='plain', cte='7bit',
                     filename='notes%d.txt' % k)
    m.add_attachment(text_with_traps(k) + 'caf\u00e9 ' * 30 + '\n', subtype='plain',
                     cte='quoted-printable', filename='qp%d.txt' % k)
    return m


# A mail that is one named text, ending in a blank line of its own.
single = EmailMessage()
single['From'] = 'p@example.org'
single['Subject'] = 'one text'
single.set_content(text_with_traps(9) + '\n', cte='7bit', disposition='attachment',
                   filename='single.txt')

mails = [mail(0), mail(1), mail(2), single]  # the last one up to the mailbox's end
for m in mails:
    for part in (m.iter_attachments() if m.is_multipart() else [m]):
        with open(out + '/peer/' + part.get_filename(), 'wb') as f:
            f.write(part.get_payload(decode=True))

for cls, name in [(mailbox.mbox, 'mbox'), (mailbox.MMDF, 'mmdf'), (mailbox.Babyl, 'babyl'),
                  (mailbox.Maildir, 'maildir'), (mailbox.MH, 'mh')]:
    box = cls(out + '/' + name)
    for m in mails:
        box.add(m)
    box.close()

# mboxrd: every line that begins with any run of ">" and then "From " gains one ">".
with open(out + '/mboxrd', 'wb') as f:
    for m in mails:
        f.write(b'From p@example.org Tue Dec  8 07:35:53 2026\n')
        body = m.as_bytes(policy=email.policy.default.clone(linesep='\n'))
        f.write(re.sub(rb'(?m)^(>*From )', rb'>\1', body) + b'\n')

mbox = open(out + '/mbox', 'rb').read()
open(out + '/bom.mbox', 'wb').write(b'\xef\xbb\xbf' + mbox)
open(out + '/cr.mbox', 'wb').write(mbox.replace(b'\n', b'\r'))
open(out + '/crlf.mbox', 'wb').write(mbox.replace(b'\n', b'\r\n'))
