#!/usr/bin/env python3
"""Writes the seed corpora under fuzz/corpus/<target>/: conversations that lead the
controller through each state, settings replies of every family, settings files and
images, and language files, and the hand-made regression input seed_regression_stale_update_offset.
Run from anywhere; it rewrites only those files."""

import os

HERE = os.path.dirname(os.path.abspath(__file__))

# input_report_fuzz operations (see runOperation)
RAW, REPLY, TICK = 0, 1, 2
RUN, READ, SEND, DEFAULT, UPDATE, REREAD, REPLUG, OPTIONS = range(4, 12)
READFAIL, WRITEFAIL, IMPORT, LATENCY = 12, 13, 14, 15
IMAGE_513, IMAGE_1500, IMAGE_1537, IMAGE_4096, IMAGE_64600, IMAGE_65535 = range(6)
OK = [0x6F, 0x6B]


def header(length_selector=4, request=62, image=0):
    return [length_selector, request, image]


def reply(data):
    return [REPLY, len(data)] + list(data)


def tick_with(data):
    return reply(data) + [TICK]


def identify(family, variant=0, major=1):
    return (tick_with([0xD7, 1, 0, 2, 0, 3, 4, 5]) + tick_with([0xE1]) +
            tick_with([variant, family, major, 2, 3, 4, 5]))


def link_up(family, length, variant=0):
    return identify(family, variant) + tick_with([(i + 1) & 0xFF for i in range(length)])


def link_up_family7():
    return tick_with([0xD7, 1, 0, 2, 0, 3, 4, 5]) + tick_with([0xFD]) + tick_with([0x11] * 11)


def settle_and_reread(length):
    return [TICK] * 21 + tick_with([(i + 3) & 0xFF for i in range(length)])


def update_blocks(blocks):
    """Acknowledges `blocks` full blocks: announce, send, "ok"."""
    return ([TICK, TICK] + tick_with(OK)) * blocks


def full_update(image, blocks):
    return ([UPDATE, image] + tick_with([0xE4]) + tick_with(OK) + update_blocks(blocks) +
            [TICK] + tick_with(OK) + tick_with(OK) + [TICK] * 3)


def input_report_seeds():
    seeds = {}
    seeds["link_up_family3_write"] = header() + link_up(3, 14) + [SEND] + settle_and_reread(14)
    seeds["link_up_family2_default"] = header() + link_up(2, 12) + [DEFAULT] + settle_and_reread(11)
    seeds["family1_air_read"] = header() + link_up(1, 11) + [READ] + tick_with([7] * 11)
    seeds["family4_bad_lengths"] = header() + identify(4) + tick_with([1] * 11) + tick_with([2] * 12)
    seeds["family5_6"] = header() + link_up(5, 6) + [REREAD] + tick_with([9] * 6)
    seeds["family7"] = header() + link_up_family7() + [SEND] + [TICK] * 21 + tick_with([0x22] * 10)
    seeds["family8_write"] = header() + link_up(8, 15) + [SEND] + settle_and_reread(16)
    seeds["family9_variant6"] = header() + link_up(9, 19, variant=6) + [READ] + tick_with([5] * 19)
    seeds["unknown_family"] = header() + link_up(0x2A, 40) + [SEND, TICK]
    seeds["update_1500"] = header() + link_up(3, 14) + full_update(IMAGE_1500, 2)
    seeds["update_1537_family1"] = header() + link_up(1, 11) + full_update(IMAGE_1537, 2)
    seeds["update_fails"] = header() + link_up(2, 11) + [UPDATE, IMAGE_4096] + tick_with(
        [0xE4]) + tick_with(OK) + [TICK, TICK] + [TICK] * 22 + tick_with([0xE1])
    seeds["raw_reports"] = header() + [RAW, 4, 1, 0xFF, 0xD7, 9, TICK, RAW, 70, 1, 60] + [
        0xE1] * 68 + [TICK, RAW, 0, TICK]
    seeds["short_reports_and_replug"] = header(0xF3) + tick_with([0xD7] * 3) + [
        OPTIONS, 4, 2] + tick_with([0xD7, 1, 2, 3, 4, 5, 6, 7]) + [REPLUG, RUN, 80] + tick_with(
        [0xD7])
    seeds["long_reply_many_reports"] = header(0, 3) + identify(9) + tick_with(
        [i & 0xFF for i in range(250)]) + [OPTIONS, 79, 62] + tick_with([0x33] * 18)
    seeds["read_and_write_failures"] = header() + link_up(3, 14) + [
        READFAIL, 1, TICK, READFAIL, 0, WRITEFAIL, 0, SEND, TICK, WRITEFAIL, 0xFF, LATENCY, 40
    ] + tick_with([0xE1]) + [RUN, 10, TICK]
    seeds["import_then_send"] = header() + link_up(3, 14) + [IMPORT] + [0, 1, 2, 3, 4, 5, 6, 7, 0xFF, 1, 0, 2, 1, 0, 3] + [SEND, TICK]
    return seeds


def settings_frame_seeds():
    rows = [  # family, variant, length, arrangement
        (1, 0, 11, 0x81), (2, 0, 12, 0x80), (3, 0, 14, 0x80), (4, 0, 12, 0x81),
        (5, 0, 6, 0x82), (6, 0, 6, 0x82), (7, 0, 11, 0x83), (8, 0, 15, 0x80),
        (8, 0, 16, 0x00), (9, 6, 19, 0x80), (9, 1, 17, 0x80), (0, 0, 200, 0x80),
    ]
    seeds = {}
    for family, variant, length, arrangement in rows:
        choices = [(i * 3) % 7 for i in range(15)]
        data = [family, variant, 1, 4, 5, length, arrangement, 0x00, 0x00, 0x9E, 0xD8]
        data += choices + [(i * 5 + family) & 0xFF for i in range(length)]
        seeds["family%d_variant%d_len%d" % (family, variant, length)] = data
    return seeds


def files_seeds():
    seeds = {}
    seeds["settings_file"] = list(range(15))
    seeds["settings_file_none"] = [0xFF] * 12 + [0, 128, 255]
    seeds["settings_file_family3"] = [3, 0, 2, 50, 60, 70, 1, 1, 0, 2, 1, 0, 3, 1, 0]
    seeds["short_file"] = [1] * 14
    seeds["image_513"] = [(i * 13) & 0xFF for i in range(513)]
    seeds["image_512"] = [0xB7] * 512
    seeds["image_2048"] = [(i ^ 0x5A) & 0xFF for i in range(2048)]
    seeds["backup"] = list(("# Tessaro ESC backup\nformat=1\ntaken=2026-12-08 12:30:05\n"
                            "family=3\nvariant=1\nversion=01 03 01 02 10 0C 05\n"
                            "settings=02 02 13 18 E0 7C 05 00 03 00 00 04 05 04\n").encode())
    seeds["backup_no_version_crlf"] = list(("format=1\r\nfamily=7\r\nvariant=0\r\n"
                                            "settings=11 11 11\r\n").encode())
    return seeds


def profile_seeds():
    texts = {
        "language_head": "[set]\r\nlang_sel=0\r\nmin_1004=12\r\n[english]\r\nokey = Read OK \r\n",
        "quotes_and_blanks": "[Set]\n  LANG_SEL = \"0x1F\"\n; comment=1\n[chinese]\nbrakeLab='x'\n",
        "no_section_cr": "k=v\rlang_sel=7\r[set]\rlang_sel=-3\r",
        "duplicate_sections": "[set]\nlang_sel=1\n[set]\nlang_sel=2\n[ set ]\nk=0b101\n",
    }
    seeds = {name: list(text.encode("utf-8")) for name, text in texts.items()}
    seeds["utf16le_bom"] = [0xFF, 0xFE] + list("[set]\r\nlang_sel=1\r\n".encode("utf-16-le"))
    seeds["utf16be_bom"] = [0xFE, 0xFF] + list("[chinese]\nbrakeLab=\u5239\u8f66\n".encode("utf-16-be"))
    seeds["utf8_bom_gb18030"] = [0xEF, 0xBB, 0xBF] + list("[chinese]\nbrakeLab=\u5239\n".encode("utf-8"))
    seeds["gb18030"] = list("[chinese]\nbrakeLab=\u5239\u8f66\n".encode("gb18030"))
    return seeds


# socket_fuzz operations (see runOperation)
S_ANY, S_INPUT, S_PORT_READ, S_LINK_READ, S_DRAIN, S_SEND, S_CHANGES, S_SERVER = range(8)


def greeting(length=64, max_reports=8, tag=ord("H")):
    """A greeting of five bytes (its selector 4: 1 + 4 mod 7 bytes follow)."""
    return [4, tag, length >> 8, length & 0xFF, max_reports >> 8, max_reports & 0xFF]


def word(value):
    return [value >> 8, value & 0xFF]


def socket_seeds():
    ok_report = [S_INPUT, 4, 0x01, 2, ord("o"), ord("k")]
    seeds = {}
    seeds["open_and_read"] = (greeting() + ok_report * 2 + [S_LINK_READ, 200] + word(59 * 8) +
                              ok_report + [S_PORT_READ] + word(256) + [4, S_DRAIN])
    seeds["greeting_short_length"] = greeting(length=1) + ok_report + [S_LINK_READ, 64] + word(59)
    seeds["greeting_no_reports"] = greeting(max_reports=0) + ok_report
    seeds["greeting_too_long"] = greeting(length=5000) + ok_report
    seeds["greeting_wrong_tag"] = greeting(tag=ord("I")) + ok_report
    seeds["greeting_four_bytes"] = [3, ord("H"), 0, 64, 0] + ok_report
    seeds["server_leaves_and_returns"] = (greeting() + ok_report + [S_SERVER, 1, S_CHANGES,
                                          S_CHANGES, S_SERVER, 0] + ok_report +
                                          [S_LINK_READ, 100] + word(59))
    seeds["odd_packets"] = (greeting(length=16, max_reports=3) + [S_ANY] + word(18) +
                            [ord("I")] + [7] * 17 + [S_ANY] + word(16) + [ord("I")] * 16 +
                            [S_ANY] + word(17) + [ord("X")] * 17 + [S_PORT_READ] + word(100) +
                            [5])
    seeds["port_sends"] = (greeting() + [S_SEND, 70] + [0x11] * 70 + [1, S_SEND, 3, 0xA5, 1, 2,
                           0, S_CHANGES])
    return seeds


def stale_update_offset():
    """An update abandoned at offset 64,512 of the 65,535-byte image, then an update of the
    64,600-byte image whose handshake hears "ok" without the 0xE4 echo first: the new run
    goes on from the old offset and its last block is read from past the image store."""
    return (header() + link_up(3, 14) + [UPDATE, IMAGE_65535] + tick_with([0xE4]) +
            tick_with(OK) + update_blocks(126) + [TICK, TICK, READ] +
            tick_with([i + 1 for i in range(14)]) + [UPDATE, IMAGE_64600] + tick_with(OK) +
            [TICK, TICK] + tick_with(OK) + [TICK, TICK])


def write(target, seeds, prefix="seed_"):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, prefix + name), "wb") as out:
            out.write(bytes(data))


write("input_report_fuzz", input_report_seeds())
write("settings_frame_fuzz", settings_frame_seeds())
write("files_fuzz", files_seeds())
write("profile_fuzz", profile_seeds())
write("socket_fuzz", socket_seeds())
write("input_report_fuzz", {"regression_stale_update_offset": stale_update_offset()}, prefix="seed_")
