#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes damaged copies of the legacy sample catalogue, the same bytes on every run.

usage: make_damaged_fixtures.py SAMPLE.tnx OUT_DIR

The copies marked (small) are made from missing-table.tnx beside SAMPLE.tnx.

Each copy carries one kind of damage that a real file can suffer:

  swapped-definitions.tnx  the table list sends eloado to the definition page of szamok and back
  system-page.tnx          the table list sends eloado to the definition page of a system table
                           (MSysQueries, no rows): an empty album table beside 36 tracks
  zeroed-page.tnx          the data page of szamok is all zeros
  truncated.tnx            the file ends in the middle of the data page of DVD_Filmek
  damaged-row.tnx          the first row of szamok claims 12288 fields where the table has 6
  zero-text.tnx            eight zero bytes in the middle of the title 'Őrjárat a hegyekben' of DVD_Filmek
  usage-map.tnx (small)    one byte of the definition of Filmek_videoklippek sends its map of used pages to
                           a row that its page does not have
  orphan-tracks.tnx        not damaged: the album kod 6 was deleted the way the old program deletes a
                           row, and its 7 tracks were left pointing at it
"""

import os
import struct
import sys

PAGE = 4096  # Jet 4


def pages(data):
    return len(data) // PAGE


def page_type(data, page):
    return data[page * PAGE]


def owner(data, page):
    return struct.unpack_from("<I", data, page * PAGE + 4)[0]


def rows(data, page):
    """(index, offset-table position, row start, row end) of each row of a data page."""
    base = page * PAGE
    count = struct.unpack_from("<H", data, base + 12)[0]
    result = []
    previous_start = PAGE
    for index in range(count):
        entry = base + 14 + 2 * index
        start = struct.unpack_from("<H", data, entry)[0] & 0x1FFF
        result.append((index, entry, base + start, base + previous_start))
        previous_start = start
    return result


def data_pages(data, definition_page):
    return [p for p in range(pages(data)) if page_type(data, p) == 1 and owner(data, p) == definition_page]


def catalogue_row(data, name):
    """The position of the Id field of the table list's row for the object called name."""
    wanted = name.encode("utf-16-le")
    for page in data_pages(data, 2):
        for _, _, start, end in rows(data, page):
            row = bytes(data[start:end])
            at = row.find(wanted)
            # The name is followed by the next field, never by more letters of a longer name.
            following = row[at + len(wanted):at + len(wanted) + 2]
            if at >= 0 and not (len(following) == 2 and following[1] == 0 and chr(following[0]).isalnum()):
                return start + 2  # after the row's column count, the first fixed column: Id
    raise SystemExit(f"no object {name} in the table list")


def table_page(data, name):
    return struct.unpack_from("<i", data, catalogue_row(data, name))[0]


def set_table_page(data, name, page):
    struct.pack_into("<i", data, catalogue_row(data, name), page)


def swapped_definitions(data):
    albums, tracks = table_page(data, "eloado"), table_page(data, "szamok")
    set_table_page(data, "eloado", tracks)
    set_table_page(data, "szamok", albums)
    return data


def system_page(data):
    set_table_page(data, "eloado", table_page(data, "MSysQueries"))
    return data


def zeroed_page(data):
    page = data_pages(data, table_page(data, "szamok"))[0]
    data[page * PAGE:(page + 1) * PAGE] = bytes(PAGE)
    return data


def truncated(data):
    page = data_pages(data, table_page(data, "DVD_Filmek"))[0]
    return data[:page * PAGE + PAGE // 2]


def damaged_row(data):
    page = data_pages(data, table_page(data, "szamok"))[0]
    _, _, start, _ = rows(data, page)[0]
    struct.pack_into("<H", data, start, 0x3000)  # the row's column count
    return data


def orphan_tracks(data):
    definition = table_page(data, "eloado")
    for page in data_pages(data, definition):
        for _, entry, start, _ in rows(data, page):
            if struct.unpack_from("<i", data, start + 2)[0] == 6:  # kod, the only fixed column
                # A deleted row keeps its bytes; its offset carries the deleted flag, and the table
                # definition counts one row less.
                struct.pack_into("<H", data, entry, struct.unpack_from("<H", data, entry)[0] | 0x4000)
                declared = definition * PAGE + 16
                struct.pack_into("<I", data, declared, struct.unpack_from("<I", data, declared)[0] - 1)
                return data
    raise SystemExit("no album with kod 6")


def zero_text(data):
    title = "Őrjárat a hegyekben".encode("utf-16-le")
    at = data.find(title)
    if at < 0:
        raise SystemExit("no title 'Őrjárat a hegyekben'")
    at += len("Őrjára".encode("utf-16-le"))
    data[at:at + 8] = bytes(8)
    return data


def usage_map(data):
    # The first byte of the map's place is its row on its page: 28, where the page has far fewer.
    data[table_page(data, "Filmek_videoklippek") * PAGE + 0x37] = 0x1C
    return data


MUTATIONS = {
    "swapped-definitions.tnx": swapped_definitions,
    "system-page.tnx": system_page,
    "zeroed-page.tnx": zeroed_page,
    "truncated.tnx": truncated,
    "damaged-row.tnx": damaged_row,
    "zero-text.tnx": zero_text,
    "orphan-tracks.tnx": orphan_tracks,
}

SMALL_MUTATIONS = {
    "usage-map.tnx": usage_map,
}


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    with open(sys.argv[1], "rb") as source:
        sample = source.read()
    os.makedirs(sys.argv[2], exist_ok=True)
    with open(os.path.join(os.path.dirname(sys.argv[1]), "missing-table.tnx"), "rb") as source:
        small = source.read()
    for original, mutations in ((sample, MUTATIONS), (small, SMALL_MUTATIONS)):
        for name, mutate in mutations.items():
            target = os.path.join(sys.argv[2], name)
            with open(target + ".part", "wb") as out:
                out.write(mutate(bytearray(original)))
            os.replace(target + ".part", target)


if __name__ == "__main__":
    main()
