#!/usr/bin/env python3
"""Takes a test guest's console apart and compares what it read with what tolvane-cli's own
virtual drive reads from the same images. Exit status 1 on any difference that is not a
named limit of the drive that shows it."""
import json
import os
import re
import sys


def steps(log_path):
    """{name: (status, output)} of the framed steps in a guest's console."""
    text = open(log_path, 'rb').read().decode('utf-8', 'replace').replace('\r', '')
    found = {}
    for m in re.finditer(r'^@@step (\S+)\n(.*?)^@@end \1 (\d+)$', text, re.S | re.M):
        found[m.group(1)] = (int(m.group(3)), m.group(2))
    return found


def controller(where):
    if '/virtio' in where:
        return 'virtio-scsi'
    # PIIX's IDE function sits at 00:01.1 on QEMU's pc machine; AHCI is a card of its own.
    return 'ide' if '0000:00:01.1' in where else 'ahci'


def flatten(value, prefix=''):
    if isinstance(value, dict):
        out = {}
        for k, v in value.items():
            out.update(flatten(v, f'{prefix}{k}.'))
        return out
    if isinstance(value, list):
        out = {}
        for i, v in enumerate(value):
            out.update(flatten(v, f'{prefix}{i}.'))
        return out
    return {prefix[:-1]: value}


# What a drive cannot answer, by controller: the field, and why. Everything else must match.
LIMITS = {
    '*': {
        # The drive's identity is the drive's, not the disc's.
        r'^Drive\.': "the drive's identity and speeds",
    },
    # QEMU's CD-ROMs (ATAPI and SCSI alike) answer neither READ TRACK INFORMATION nor
    # READ HEADER (05/20/00, invalid command operation code), so a data track's mode is
    # never learnt.
    'qemu': {r'^Tracks\.\d+\.Mode$': 'QEMU answers neither READ TRACK INFORMATION nor READ HEADER'},
    # QEMU's ATAPI code takes READ TOC's format from byte 9 only (the old place): asked for
    # the session information, it answers a format-0 TOC, which the reader refuses.
    'ide': {r'^CD\.Sessions$': "QEMU's ATAPI reads READ TOC's format from byte 9",
            r'^Sessions:': "QEMU's ATAPI reads READ TOC's format from byte 9"},
    'ahci': {r'^CD\.Sessions$': "QEMU's ATAPI reads READ TOC's format from byte 9",
             r'^Sessions:': "QEMU's ATAPI reads READ TOC's format from byte 9"},
}


def allowed(ctrl, field):
    for scope in ('*', ctrl) + (('qemu',) if ctrl in ('ide', 'ahci', 'virtio-scsi') else ()):
        for pattern, why in LIMITS.get(scope, {}).items():
            if re.search(pattern, field):
                return why
    return None


def compare_facts(what, ctrl, actual, expected):
    failures = 0
    for field in sorted(set(actual) | set(expected)):
        a, e = actual.get(field), expected.get(field)
        if a != e and not allowed(ctrl, field):
            print(f'{what}: {field}: kernel path {a!r}, virtual drive {e!r}')
            failures += 1
    return failures


def compare_tray(got, dev, what, ctrl, expected):
    """Tray open: no disc; closed again: the same facts as before."""
    failures = 0
    status, out = got[f'{dev}-ejected']
    if status != 1 or out.strip() != 'Media not present':
        print(f'{what}: after eject: status {status}, {out.strip()!r}')
        failures += 1
    status, out = got[f'{dev}-reloaded']
    if status != 0:
        print(f'{what}: after load: status {status}, {out.strip()!r}')
        return failures + 1
    return failures + compare_facts(f'{what} reloaded', ctrl, flatten(json.loads(out)), expected)


EMPTY_SHA256 = 'e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855'  # of no bytes at all


def compare_iso(work, images):
    got = steps(os.path.join(work, 'iso.log'))
    by_block16 = {}
    for img in images:
        name = os.path.basename(img)[:-4]
        by_block16[open(os.path.join(work, f'block16-{name}')).read().strip()] = name
    failures = 0
    seen = set()
    for key in sorted(k for k in got if k.endswith('-info')):
        dev = key[:-5]
        where = got[f'{dev}-where'][1].strip()
        ctrl = controller(where)
        name = by_block16.get(got[f'{dev}-block16'][1].strip())
        status, out = got[key]
        if got[f'{dev}-block16'][1].strip() == EMPTY_SHA256:  # the drive with no disc
            seen.add((ctrl, 'no disc'))
            if (status, out.strip()) != (1, 'Media not present'):
                print(f'{dev} ({ctrl}, no disc): info: status {status}, {out.strip()!r}'); failures += 1
            continue
        if name is None:
            print(f'{dev} ({ctrl}): block 16 matches no image'); failures += 1; continue
        seen.add((ctrl, name))
        if status != 0:
            print(f'{dev} ({ctrl}, {name}): info failed ({status}): {out.strip()}'); failures += 1; continue
        expected = flatten(json.load(open(os.path.join(work, f'expected-{name}.json'))))
        failures += compare_facts(f'{dev} ({ctrl}, {name})', ctrl, flatten(json.loads(out)), expected)
        # The report: the same text, line by line.
        status, out = got[f'{dev}-report']
        want = open(os.path.join(work, f'expected-{name}.report'), encoding='utf-8', newline='').read().split('\r\n')
        have = out.split('\n')
        for i, line in enumerate(want):
            line_got = have[i] if i < len(have) else None
            if line_got != line and not allowed(ctrl, line):
                print(f'{dev} ({ctrl}, {name}): report line {i + 1}: {line_got!r}, virtual drive {line!r}')
                failures += 1
        failures += compare_tray(got, dev, f'{dev} ({ctrl}, {name})', ctrl, expected)
    for ctrl in ('ide', 'ahci', 'virtio-scsi'):
        names = sorted(n for c, n in seen if c == ctrl)
        print(f'test-vm: {ctrl}: {len(names)} drives read: {", ".join(names)}')
        if not names:
            failures += 1
    if ('virtio-scsi', 'no disc') not in seen:
        print('test-vm: the drive with no disc was not read'); failures += 1
    return failures


# --- The USB guest: audio CDs from tolvane-gadget, read by tolvane-cli and by the peers ---

def cdinfo(text):
    """cd-info's track list {number: (msf, lsn, type, copy, channels, pre-emphasis)}, its
    lead-out, MCN, ISRCs {number: code} and CD-Text {(block, field): value}."""
    tracks, isrc, cdtext = {}, {}, {}
    leadout = mcn = None
    for m in re.finditer(r'^\s*(\d+): (\d\d:\d\d:\d\d)\s+(\d+) (\w+)\s*(.*)$', text, re.M):
        number, msf, lsn, kind, rest = int(m.group(1)), m.group(2), int(m.group(3)), m.group(4), m.group(5)
        if kind == 'leadout':
            leadout = (msf, lsn)
        else:
            # Columns: green, copy, channels, pre-emphasis. "Green?" is left out: libcdio's Linux
            # driver answers it with the copy bit, its image driver with false.
            cols = rest.split()
            tracks[number] = (msf, lsn, kind, cols[1], cols[2], cols[3])
    # With no MCN, cd-info's image driver says "not available" and its drive driver nothing.
    if m := re.search(r'^Media Catalog Number \(MCN\): (\d+)', text, re.M):
        mcn = m.group(1)
    for m in re.finditer(r'^TRACK\s+(\d+) ISRC: (\S+)', text, re.M):
        isrc[int(m.group(1))] = m.group(2)
    block = None
    for line in text.split('\n'):
        if m := re.match(r'^CD-TEXT for (Disc|Track\s+(\d+)):', line):
            block = 0 if m.group(1) == 'Disc' else int(m.group(2))
        elif block is not None and line.startswith('\t') and ': ' in line:
            key, value = line[1:].split(': ', 1)
            cdtext[(block, key)] = value
    return tracks, leadout, mcn, isrc, cdtext


def toc_text(value):
    """A cdrdao string with its octal escapes, as the Latin-1 text it stands for."""
    return re.sub(r'\\([0-7]{3})', lambda m: chr(int(m.group(1), 8)), value).replace('\\"', '"')


def cdrdao_toc(text):
    """CATALOG and, per track, COPY, PRE_EMPHASIS, the sub-channel ISRC and CD-Text."""
    catalog = re.search(r'^CATALOG "(\d+)"', text, re.M)
    tracks = []
    for part in re.split(r'^// Track \d+\n', text, flags=re.M)[1:]:
        title = re.search(r'^\s+TITLE "((?:[^"\\]|\\.)*)"', part, re.M)
        performer = re.search(r'^\s+PERFORMER "((?:[^"\\]|\\.)*)"', part, re.M)
        isrc = re.search(r'^ISRC "(\w+)"', part, re.M)
        tracks.append({'copy': re.search(r'^COPY$', part, re.M) is not None,
                       'preemphasis': re.search(r'^PRE_EMPHASIS$', part, re.M) is not None,
                       'isrc': isrc.group(1) if isrc else '',
                       'title': toc_text(title.group(1)) if title else '',
                       'performer': toc_text(performer.group(1)) if performer else ''})
    return (catalog.group(1) if catalog else ''), tracks


def compare_usb(work, testdata, names):
    got = steps(os.path.join(work, 'usb.log'))
    failures = 0
    seen = set()

    def differ(what, a, e):
        nonlocal failures
        if a != e:
            print(f'{what}: {a!r}, expected {e!r}')
            failures += 1

    for key in sorted(k for k in got if k.endswith('-info')):
        dev = key[:-5]
        m = re.search(r'dummy_hcd\.(\d+)', got[f'{dev}-where'][1])
        if not m or int(m.group(1)) >= len(names):
            print(f'{dev}: not one of the gadgets: {got[f"{dev}-where"][1].strip()}'); failures += 1; continue
        name = names[int(m.group(1))]
        seen.add(name)
        what = f'{dev} (usb, {name})'
        status, out = got[key]
        if status != 0:
            print(f'{what}: info failed ({status}): {out.strip()}'); failures += 1; continue
        facts = json.load(open(os.path.join(work, f'expected-{name}.json')))
        failures += compare_facts(what, 'usb', flatten(json.loads(out)), flatten(facts))
        tracks = facts['Tracks']

        # tolvane-cli's rip through the kernel: the same files, byte for byte.
        status, out = got[f'{dev}-rip']
        differ(f'{what}: rip', (status, sorted(out.split('\n'))),
               (0, sorted(open(os.path.join(work, f'wav-{name}')).read().split('\n'))))
        # cd-paranoia's audio: the same samples; before a first track that starts late it also
        # copies the hidden audio in front of it (its "track 0"), which must be the image's.
        pcm = open(os.path.join(work, f'pcm-{name}')).read().split()
        htoa = os.path.join(work, f'htoa-{name}')
        if os.path.exists(htoa):
            pcm = open(htoa).read().split() + pcm
        status, out = got[f'{dev}-paranoia']
        differ(f'{what}: cd-paranoia audio', (status, out.split()), (0, pcm))

        # cd-info: the track list, MCN, ISRCs and CD-Text equal the facts, and for the sheets
        # equal what cd-info itself read from the image files (libcdio's own cue parser).
        status, out = got[f'{dev}-cdinfo']
        ctracks, leadout, mcn, isrc, cdtext = cdinfo(out)
        for t in tracks:
            row = ctracks.get(t['Number'])
            differ(f'{what}: cd-info track {t["Number"]} address, copy, pre-emphasis',
                   row and (row[1], row[3], row[5]),
                   (t['LBA'], 'yes' if t['DigitalCopy'] else 'no',
                    'yes' if t['Preemphasis2'] or t['Preemphasis4'] else 'no'))
            if t['ISRC']:
                differ(f'{what}: cd-info track {t["Number"]} ISRC', isrc.get(t['Number']), t['ISRC'])
            for field, key in (('Title', 'TITLE'), ('Artist', 'PERFORMER')):
                if t['CDText'][field]:
                    differ(f'{what}: cd-info track {t["Number"]} {key}', cdtext.get((t['Number'], key)),
                           t['CDText'][field])
        differ(f'{what}: cd-info MCN', mcn, facts['CD']['UPC'] or None)
        for field, key in (('Title', 'TITLE'), ('Artist', 'PERFORMER')):
            if facts['CDText'][field]:
                differ(f'{what}: cd-info disc {key}', cdtext.get((0, key)), facts['CDText'][field])
        golden = os.path.join(testdata, 'libcdio', f'{name}.cue.cd-info.txt')
        if os.path.exists(golden):
            gtracks, gleadout, gmcn, _, gcdtext = cdinfo(open(golden, encoding='utf-8').read())
            differ(f'{what}: cd-info track list against {name}.cue', ctracks, gtracks)
            differ(f'{what}: cd-info lead-out against {name}.cue', leadout, gleadout)
            differ(f'{what}: cd-info MCN against {name}.cue', mcn, gmcn)
            differ(f'{what}: cd-info CD-Text against {name}.cue',
                   {k: v for k, v in cdtext.items() if k in gcdtext}, gcdtext)

        # cdrdao read-toc: catalog, flags and CD-Text, and a sub-channel without CRC errors.
        status, out = got[f'{dev}-cdrdao']
        differ(f'{what}: cdrdao Q sub-channel', re.findall(r'Found \d+ Q sub-channels with CRC errors', out), [])
        catalog, ttracks = cdrdao_toc(out)
        differ(f'{what}: cdrdao CATALOG', catalog, facts['CD']['UPC'])
        differ(f'{what}: cdrdao tracks', len(ttracks), len(tracks))
        for t, c in zip(tracks, ttracks):
            n = t['Number']
            differ(f'{what}: cdrdao track {n} COPY', c['copy'], t['DigitalCopy'])
            differ(f'{what}: cdrdao track {n} PRE_EMPHASIS', c['preemphasis'], t['Preemphasis2'] or t['Preemphasis4'])
            differ(f'{what}: cdrdao track {n} CD-Text', (c['title'], c['performer']),
                   (t['CDText']['Title'], t['CDText']['Artist']))
            # cdrdao takes ISRCs from Q frames of mode 3, which the virtual drive puts at blocks
            # 75 mod 100 of a track's audio (and its catalogue number at 25 mod 100).
            if c['isrc']:
                differ(f'{what}: cdrdao track {n} ISRC', c['isrc'], t['ISRC'])

        # icedax: its disc id, MCN, start addresses and ISRCs; no Q that contradicts the TOC.
        status, out = got[f'{dev}-icedax']
        m = re.search(r'CDDB discid: 0x([0-9a-f]{8})', out)
        differ(f'{what}: icedax CDDB id', m and m.group(1).upper(), facts['CD']['CDDB'])
        m = re.search(r'Media catalog number: (\d+)', out)
        differ(f'{what}: icedax MCN', m and m.group(1), facts['CD']['UPC'] or None)
        starts = {int(n): int(lba) for n, lba in re.findall(r'^T(\d\d):\s+(\d+) ', out, re.M)}
        differ(f'{what}: icedax start addresses', starts, {t['Number']: t['LBA'] for t in tracks})
        codes = {int(n): c for n, c in re.findall(r'^T:\s+(\d+) ISRC:\s+(\w+)', out, re.M)}
        differ(f'{what}: icedax ISRCs', codes, {t['Number']: t['ISRC'] for t in tracks if t['ISRC']})
        # icedax checks a track's flags against the Q of the track's last sector; where the next
        # track has a pause (index 0), that sector is the next track's and carries its flags, on
        # a pressed disc as on ours. So a flag that changes between tracks shows as a difference.
        changes = set()
        for a, b in zip(tracks, tracks[1:]):
            if a['DigitalCopy'] != b['DigitalCopy']:
                changes.add('copy')
            if (a['Preemphasis2'] or a['Preemphasis4']) != (b['Preemphasis2'] or b['Preemphasis4']):
                changes.add('preemphasis')
        unexplained = [line for line in re.findall(r'difference: .*', out)
                       if ('preemphasis' if 'preemphasis' in line else 'copy') not in changes]
        differ(f'{what}: icedax sub-channel against TOC', unexplained, [])

        failures += compare_tray(got, dev, what, 'usb', flatten(facts))

    # Unplugged in the middle of a rip: a message and a failure status, in good time.
    status, out = got.get('unplug', (1, ''))
    m = re.search(r'^exit status (\d+)$', out, re.M)
    if 'still running' in out or not m or m.group(1) == '0' or 'Error' not in out:
        print(f'unplug in the middle of a rip: {out.strip()!r}'); failures += 1
    else:
        print(f'test-vm: usb: unplugged mid-rip: exit status {m.group(1)}, '
              f'{[line for line in out.split(chr(10)) if "Error" in line][0].strip()!r}')
    for name in names:
        if name not in seen:
            print(f'test-vm: usb: {name} was never read'); failures += 1
    print(f'test-vm: usb: {len(seen)} discs read through usb-storage: {", ".join(sorted(seen))}')
    return failures


def main():
    kind, work, rest = sys.argv[1], sys.argv[2], sys.argv[3:]
    failures = compare_iso(work, rest) if kind == 'iso' else compare_usb(work, rest[0], rest[1:])
    if failures:
        print(f'test-vm: {failures} difference(s)')
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
