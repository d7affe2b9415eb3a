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
        # QEMU's CD-ROMs (ATAPI and SCSI alike) answer neither READ TRACK INFORMATION nor
        # READ HEADER (05/20/00, invalid command operation code), so a data track's mode is
        # never learnt.
        r'^Tracks\.\d+\.Mode$': 'QEMU answers neither READ TRACK INFORMATION nor READ HEADER',
    },
    # QEMU's ATAPI code takes READ TOC's format from byte 9 only (the old place): asked for
    # the session information, it answers a format-0 TOC, which the reader refuses.
    'ide': {r'^CD\.Sessions$': "QEMU's ATAPI reads READ TOC's format from byte 9",
            r'^Sessions:': "QEMU's ATAPI reads READ TOC's format from byte 9"},
    'ahci': {r'^CD\.Sessions$': "QEMU's ATAPI reads READ TOC's format from byte 9",
             r'^Sessions:': "QEMU's ATAPI reads READ TOC's format from byte 9"},
}


def allowed(ctrl, field):
    for scope in ('*', ctrl):
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
        # Tray open: no disc; closed again: the same facts as before.
        status, out = got[f'{dev}-ejected']
        if status != 1 or out.strip() != 'Media not present':
            print(f'{dev} ({ctrl}, {name}): after eject: status {status}, {out.strip()!r}')
            failures += 1
        status, out = got[f'{dev}-reloaded']
        if status != 0:
            print(f'{dev} ({ctrl}, {name}): after load: status {status}, {out.strip()!r}')
            failures += 1
        else:
            failures += compare_facts(f'{dev} ({ctrl}, {name}) reloaded', ctrl, flatten(json.loads(out)), expected)
    for ctrl in ('ide', 'ahci', 'virtio-scsi'):
        names = sorted(n for c, n in seen if c == ctrl)
        print(f'test-vm: {ctrl}: {len(names)} drives read: {", ".join(names)}')
        if not names:
            failures += 1
    return failures


def main():
    kind, work, rest = sys.argv[1], sys.argv[2], sys.argv[3:]
    failures = compare_iso(work, rest) if kind == 'iso' else 0
    if failures:
        print(f'test-vm: {failures} difference(s)')
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
