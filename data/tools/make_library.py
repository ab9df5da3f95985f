#!/usr/bin/env python3
"""Writes the sample device library of TORQ-SPI (Select.ini, Ini/, Menu/, Sector/, Drv/).

Run from anywhere:  python3 data/tools/make_library.py
The build never runs this script; the files it writes are kept in the repository. After writing,
the script checks the library against a small model of each chip (its answers to the
identification opcodes) and stops with a message when something does not fit.

Chip facts (JEDEC / RES / REMS IDs, sizes, page sizes, supply range, erase opcodes, status bits)
are taken from the public data sheets of the parts.
"""

from __future__ import annotations

import os
import sys
from dataclasses import dataclass, field
from pathlib import Path

DATA = Path(__file__).resolve().parent.parent
CRLF = "\r\n"

KIB = 1024
MIB = 1024 * 1024

# Identification selectors of id_mode bits 8-15 and the opcode each one sends.
ID_OPCODE = {0: 0x9F, 1: 0xAB, 2: 0xD7, 3: 0x15, 4: 0x90}
# First ID byte in the programmer's answer for each selector.
ID_OFFSET = {0: 0, 1: 3, 2: 0, 3: 0, 4: 0}
# Erase selectors of erase_mode bits 8-15.
ERASE_OPCODE = {1: 0xC7, 2: 0x60, 3: 0x62, 4: 0xD8, 5: 0x52, 6: 0x20}

# Identification entries tried by automatic detection, in this order: opcode, answer offset.
# The DataFlash status (0xD7) comes first: it is the only answer that tells a part set to
# power-of-two pages from the same part in its standard page size, and that part must be found
# before the JEDEC ID (the same in both modes) picks the standard entry. No 25-series part in the
# library answers 0xD7 (the ISSI parts erase with it, but only after a write enable).
READ_ID = [(0xD7, 0), (0x9F, 0), (0xAB, 3), (0x90, 0), (0x15, 0)]

# Driver images: file name -> (family, millivolts, page size including spare bytes).
DEVICE_IMAGES = {
    "SPI_25_33V.drv": (25, 3300, 256),
    "SPI_25_18V.drv": (25, 1800, 256),
    "SPI_45_33V_264.drv": (45, 3300, 264),
    "SPI_45_33V_528.drv": (45, 3300, 528),
    "SPI_45_33V_1056.drv": (45, 3300, 1056),
    # Power-of-two DataFlash pages. The names avoid "_25" (as in "_256"): read and blank check
    # look for "_25" before "_45" and would take such an image for a 25-series one.
    "SPI_45_33V_B256.drv": (45, 3300, 256),
    "SPI_45_33V_B512.drv": (45, 3300, 512),
}
DETECTION_IMAGES = {
    "FLASH/SPI_25_18V.drv": (25, 1800, 256),
    "FLASH/SPI_25_25V.drv": (25, 2500, 256),
    "FLASH/SPI_25.drv": (25, 3300, 256),
}


# --------------------------------------------------------------------------------------------
# Chips
# --------------------------------------------------------------------------------------------

@dataclass
class Chip:
    """What the part answers and how it is laid out."""

    jedec: tuple[int, ...] | None = None    # 0x9F answer (manufacturer, type, capacity)
    res: int | None = None                  # 0xAB electronic signature, repeated
    rems: tuple[int, int] | None = None     # 0x90 manufacturer, device, repeated in turn
    sst_ab_is_rems: bool = False            # SST: 0xAB is the same Read-ID as 0x90
    rdid15: tuple[int, int] | None = None   # 0x15 (AT25F): manufacturer, device
    status_d7: tuple[int, ...] | None = None    # DataFlash 0xD7 answer when ready, repeated
    answers_15: bool = False                # 0x15 is another read command (configuration reg.)


@dataclass
class Device:
    vendor: str
    name: str
    description: str
    chip: Chip
    size: int                       # DeviceSize in bytes (DataFlash: spare bytes counted)
    id_sel: int                     # identification selector for Read ID
    id_bytes: int
    erase_sel: int = 1              # 25-series only
    prog: int = 1                   # 25-series only
    volt: int = 33                  # 18 or 33
    family: int = 25
    page: int = 256
    spare: int = 0
    page_of_block: int = 256        # pages per block (64 KiB blocks of 256-byte pages)
    menu: str | None = None         # page-definition file in Menu/
    status_read: tuple[int, ...] = ()   # Read_Status_Register_1..N opcodes
    sector_table: str | None = None
    id_mask: int | None = None      # DevCode; default: all bits of the ID bytes
    id_value: int | None = None     # ManCode; default: the chip's answer
    detect: tuple[int, int] | None = None   # (_ManCode, _DevCode) override in Select.ini
    file_ref: str | None = None     # how Select.ini writes the file name (letter case)
    menu_ref: str | None = None     # how the device file writes the Menu path (letter case)
    image: str | None = None        # driver image override

    @property
    def file_name(self) -> str:
        return self.name + ".ini"

    @property
    def pages(self) -> bool:
        return self.menu is not None

    @property
    def driver_image(self) -> str:
        if self.image:
            return self.image
        if self.family == 25:
            return "SPI_25_18V.drv" if self.volt == 18 else "SPI_25_33V.drv"
        raise ValueError(self.name + ": DataFlash devices name their image")


def jedec(*b: int) -> Chip:
    return Chip(jedec=tuple(b))


DEVICES: list[Device] = []


def add(*args, **kwargs) -> None:
    DEVICES.append(Device(*args, **kwargs))


def flash25(vendor, name, description, chip, size, *, id_sel=0, id_bytes=3, block=64 * KIB,
            **kwargs) -> None:
    page = kwargs.pop("page", 256)
    add(vendor, name, description, chip, size, id_sel, id_bytes, page=page,
        page_of_block=min(block, size) // page, **kwargs)


def dataflash(name, description, chip, pages, page, spare, image, *, id_sel=0, id_bytes=3,
              **kwargs) -> None:
    add("Atmel", name, description, chip, pages * (page + spare), id_sel, id_bytes, family=45,
        page=page, spare=spare, page_of_block=8, image=image, prog=0, erase_sel=0, **kwargs)


# Status-register read-back / write: the menus and their opcodes.
SR_N2 = (0x05, 0x35)      # status register 1 and 2 (or configuration register read by 0x35)
SR_MXIC = (0x05, 0x15)    # Macronix: status register and configuration register (RDCR 0x15)
SR_N1 = (0x05,)

# ---- Winbond (0xEF) ------------------------------------------------------------------------
W = "Winbond"
flash25(W, "W25X10", "W25X10 1 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0xEF, 0x30, 0x11), res=0x10, rems=(0xEF, 0x10)), 128 * KIB, menu="SR_BP3.ini")
flash25(W, "W25X20", "W25X20 2 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0xEF, 0x30, 0x12), res=0x11, rems=(0xEF, 0x11)), 256 * KIB,
        id_sel=4, id_bytes=2, menu="SR_BP3.ini")
# The W25X parts erase the whole chip with 0xC7 only.
flash25(W, "W25X40", "W25X40 4 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0xEF, 0x30, 0x13), res=0x12, rems=(0xEF, 0x12)), 512 * KIB,
        id_sel=1, id_bytes=1, erase_sel=1, menu="SR_BP3.ini")
flash25(W, "W25X80", "W25X80 8 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0xEF, 0x30, 0x14), res=0x13, rems=(0xEF, 0x13)), 1 * MIB)
flash25(W, "W25Q80BV", "W25Q80BV 8 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0xEF, 0x40, 0x14), res=0x13, rems=(0xEF, 0x13)), 1 * MIB,
        menu="SR1_SR2.ini", status_read=SR_N2)
flash25(W, "W25Q16DV", "W25Q16DV 16 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0xEF, 0x40, 0x15), res=0x14, rems=(0xEF, 0x14)), 2 * MIB,
        menu="SR1_SR2.ini", status_read=SR_N2)
flash25(W, "W25Q32FV", "W25Q32FV 32 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0xEF, 0x40, 0x16), res=0x15, rems=(0xEF, 0x15)), 4 * MIB, erase_sel=2,
        menu="SR1_SR2.ini", status_read=SR_N2)
flash25(W, "W25Q64FV", "W25Q64FV 64 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0xEF, 0x40, 0x17), res=0x16, rems=(0xEF, 0x16)), 8 * MIB,
        menu="SR1_SR2.ini", status_read=SR_N2)
flash25(W, "W25Q128FV", "W25Q128FV 128 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0xEF, 0x40, 0x18), res=0x17, rems=(0xEF, 0x17)), 16 * MIB,
        menu="SR1_SR2.ini", status_read=SR_N2)
flash25(W, "W25Q16DW", "W25Q16DW 16 Mbit serial flash, 1.65-1.95 V",
        Chip(jedec=(0xEF, 0x60, 0x15), res=0x14, rems=(0xEF, 0x14)), 2 * MIB, volt=18,
        menu="SR1_SR2.ini", status_read=SR_N2)
flash25(W, "W25Q64FW", "W25Q64FW 64 Mbit serial flash, 1.65-1.95 V",
        Chip(jedec=(0xEF, 0x60, 0x17), res=0x16, rems=(0xEF, 0x16)), 8 * MIB, volt=18,
        menu="SR1_SR2.ini", status_read=SR_N2)
flash25(W, "W25Q128FW", "W25Q128FW 128 Mbit serial flash, 1.65-1.95 V",
        Chip(jedec=(0xEF, 0x60, 0x18), res=0x17, rems=(0xEF, 0x17)), 16 * MIB, volt=18,
        erase_sel=2, menu="SR1_SR2.ini", status_read=SR_N2)

# ---- Macronix (0xC2) -----------------------------------------------------------------------
M = "Macronix"
flash25(M, "MX25L512", "MX25L512 512 Kbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0xC2, 0x20, 0x10), res=0x05, rems=(0xC2, 0x05)), 64 * KIB, erase_sel=2,
        menu="SR_BP2.ini", file_ref="mx25l512.ini")
flash25(M, "MX25L1005", "MX25L1005 1 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0xC2, 0x20, 0x11), res=0x10, rems=(0xC2, 0x10)), 128 * KIB,
        id_sel=4, id_bytes=2, menu="SR_BP2.ini")
flash25(M, "MX25L2005", "MX25L2005 2 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0xC2, 0x20, 0x12), res=0x11, rems=(0xC2, 0x11)), 256 * KIB, menu="SR_BP3.ini")
flash25(M, "MX25L4005", "MX25L4005 4 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0xC2, 0x20, 0x13), res=0x12, rems=(0xC2, 0x12)), 512 * KIB,
        id_sel=1, id_bytes=1, menu="SR_BP3.ini")
flash25(M, "MX25L8005", "MX25L8005 8 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0xC2, 0x20, 0x14), res=0x13, rems=(0xC2, 0x13)), 1 * MIB, menu="SR_BP3.ini")
flash25(M, "MX25L1605D", "MX25L1605D 16 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0xC2, 0x20, 0x15), res=0x14, rems=(0xC2, 0x14)), 2 * MIB, menu="SR_BP4.ini")
flash25(M, "MX25L3205D", "MX25L3205D 32 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0xC2, 0x20, 0x16), res=0x15, rems=(0xC2, 0x15)), 4 * MIB,
        id_sel=4, id_bytes=2, menu="SR_BP4.ini")
flash25(M, "MX25L6405D", "MX25L6405D 64 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0xC2, 0x20, 0x17), res=0x16, rems=(0xC2, 0x16)), 8 * MIB, menu="SR_BP4.ini")
flash25(M, "MX25L12805D", "MX25L12805D 128 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0xC2, 0x20, 0x18), res=0x17, rems=(0xC2, 0x17)), 16 * MIB, erase_sel=2,
        menu="SR_BP4.ini")
flash25(M, "MX25U1635F", "MX25U1635F 16 Mbit serial flash, 1.65-2.0 V",
        Chip(jedec=(0xC2, 0x25, 0x35), res=0x35, rems=(0xC2, 0x35), answers_15=True), 2 * MIB,
        volt=18, menu="SR_CR.ini", status_read=SR_MXIC)
flash25(M, "MX25U6435F", "MX25U6435F 64 Mbit serial flash, 1.65-2.0 V",
        Chip(jedec=(0xC2, 0x25, 0x37), res=0x37, rems=(0xC2, 0x37), answers_15=True), 8 * MIB,
        volt=18, menu="SR_CR.ini", status_read=SR_MXIC)

# ---- GigaDevice (0xC8) ---------------------------------------------------------------------
G = "GigaDevice"
for name, cap, size in [("GD25Q40", 0x13, 512 * KIB), ("GD25Q80", 0x14, 1 * MIB),
                        ("GD25Q16", 0x15, 2 * MIB), ("GD25Q32", 0x16, 4 * MIB),
                        ("GD25Q64", 0x17, 8 * MIB), ("GD25Q128", 0x18, 16 * MIB)]:
    flash25(G, name, f"{name} {size * 8 // MIB} Mbit serial flash, 2.7-3.6 V",
            Chip(jedec=(0xC8, 0x40, cap), res=cap - 1, rems=(0xC8, cap - 1)), size,
            erase_sel=2 if name == "GD25Q32" else 1, menu="SR1_SR2.ini", status_read=SR_N2)
flash25(G, "GD25LQ32", "GD25LQ32 32 Mbit serial flash, 1.65-2.1 V",
        Chip(jedec=(0xC8, 0x60, 0x16), res=0x15, rems=(0xC8, 0x15)), 4 * MIB, volt=18,
        menu="SR1_SR2.ini", status_read=SR_N2)
flash25(G, "GD25LQ64", "GD25LQ64 64 Mbit serial flash, 1.65-2.1 V",
        Chip(jedec=(0xC8, 0x60, 0x17), res=0x16, rems=(0xC8, 0x16)), 8 * MIB, volt=18,
        menu="SR1_SR2.ini", status_read=SR_N2)

# ---- SST / Microchip (0xBF) ----------------------------------------------------------------
S = "SST"
# The A parts have no JEDEC read; 0x90 and 0xAB both give manufacturer and device in turn.
# They program one byte per AAI command (0xAF); the B parts program a word per command (0xAD).
flash25(S, "SST25VF512A", "SST25VF512A 512 Kbit serial flash, 2.7-3.6 V, byte AAI",
        Chip(rems=(0xBF, 0x48), sst_ab_is_rems=True), 64 * KIB, id_sel=4, id_bytes=2,
        block=32 * KIB, erase_sel=2, prog=3, menu="SST_BPL.ini")
flash25(S, "SST25VF010A", "SST25VF010A 1 Mbit serial flash, 2.7-3.6 V, byte AAI",
        Chip(rems=(0xBF, 0x49), sst_ab_is_rems=True), 128 * KIB, id_sel=4, id_bytes=2,
        block=32 * KIB, erase_sel=5, prog=3, menu="SST_BPL.ini")
for name, cap, size in [("SST25VF020B", 0x8C, 256 * KIB), ("SST25VF040B", 0x8D, 512 * KIB),
                        ("SST25VF080B", 0x8E, 1 * MIB), ("SST25VF016B", 0x41, 2 * MIB),
                        ("SST25VF032B", 0x4A, 4 * MIB)]:
    mbit = size * 8 // MIB
    flash25(S, name, f"{name} {mbit} Mbit serial flash, 2.7-3.6 V, word AAI",
            Chip(jedec=(0xBF, 0x25, cap), rems=(0xBF, cap), sst_ab_is_rems=True), size,
            erase_sel=2 if name == "SST25VF040B" else 1, prog=2, menu="SST_BPL.ini")
flash25(S, "SST25VF064C", "SST25VF064C 64 Mbit serial flash, 2.7-3.6 V, page program",
        Chip(jedec=(0xBF, 0x25, 0x4B), rems=(0xBF, 0x4B), sst_ab_is_rems=True), 8 * MIB,
        prog=1, menu="SST_BPL.ini")

# ---- Atmel / Adesto (0x1F) -----------------------------------------------------------------
A = "Atmel"
# Serial EEPROMs: no identification command, no erase command (the erase opcode is ignored by
# the part), 32-byte write pages. Read ID masks the answer with 0 so that any answer passes;
# automatic detection cannot find them.
flash25(A, "AT25080A", "AT25080A 8 Kbit serial EEPROM, 1.8-5.5 V, no ID",
        Chip(), 1 * KIB, id_sel=1, id_bytes=1, page=32, block=1 * KIB,
        id_mask=0x00, id_value=0x00, detect=(0x55AAAA55, 0xFFFFFFFF), menu="AT25_WPEN.ini")
flash25(A, "AT25160A", "AT25160A 16 Kbit serial EEPROM, 1.8-5.5 V, no ID",
        Chip(), 2 * KIB, id_sel=1, id_bytes=1, page=32, block=2 * KIB,
        id_mask=0x00, id_value=0x00, detect=(0x55AAAA55, 0xFFFFFFFF), menu="AT25_WPEN.ini")
# AT25F: Read Product ID 0x15 (manufacturer, device), chip erase 0x62, sector erase 0x52.
flash25(A, "AT25F512A", "AT25F512A 512 Kbit serial flash, 2.7-3.6 V",
        Chip(rdid15=(0x1F, 0x65)), 64 * KIB, id_sel=3, id_bytes=2, page=128, block=32 * KIB,
        erase_sel=3, menu="AT25_WPEN.ini")
flash25(A, "AT25F1024A", "AT25F1024A 1 Mbit serial flash, 2.7-3.6 V",
        Chip(rdid15=(0x1F, 0x60)), 128 * KIB, id_sel=3, id_bytes=2, block=32 * KIB,
        erase_sel=3, menu="AT25_WPEN.ini")
flash25(A, "AT25F2048", "AT25F2048 2 Mbit serial flash, 2.7-3.6 V",
        Chip(rdid15=(0x1F, 0x63)), 256 * KIB, id_sel=3, id_bytes=2, erase_sel=3,
        menu="AT25_WPEN.ini")
flash25(A, "AT25F4096", "AT25F4096 4 Mbit serial flash, 2.7-3.6 V",
        Chip(rdid15=(0x1F, 0x64)), 512 * KIB, id_sel=3, id_bytes=2, erase_sel=5)
# AT25DF041A: sector protection, global unprotect by writing 0 to the status register.
flash25(A, "AT25DF041A", "AT25DF041A 4 Mbit serial flash, 2.3-3.6 V",
        jedec(0x1F, 0x44, 0x01), 512 * KIB, erase_sel=6)
# AT26DF: per-sector protection with the sector tables in Sector/.
# AT26DF041: no chip erase; it erases pages (0x81), 2 KB (0x50) and 4 KB (0x20) blocks.
flash25(A, "AT26DF041", "AT26DF041 4 Mbit serial flash, 2.7-3.6 V",
        jedec(0x1F, 0x44, 0x00), 512 * KIB, block=4 * KIB, erase_sel=6,
        sector_table="AT26DF041.txt")
flash25(A, "AT26DF081A", "AT26DF081A 8 Mbit serial flash, 2.7-3.6 V",
        jedec(0x1F, 0x45, 0x01), 1 * MIB, sector_table="AT26DF081A.txt")
flash25(A, "AT26DF161", "AT26DF161 16 Mbit serial flash, 2.7-3.6 V",
        jedec(0x1F, 0x46, 0x00), 2 * MIB, erase_sel=2, sector_table="AT26DF161.txt")
flash25(A, "AT26DF321", "AT26DF321 32 Mbit serial flash, 2.7-3.6 V",
        jedec(0x1F, 0x47, 0x00), 4 * MIB, sector_table="AT26DF321.txt")
# DataFlash. Status (0xD7) when ready: bit 7 RDY, bit 6 COMP, bits 5-2 density, bit 1 protect,
# bit 0 page size (D parts: 1 = power-of-two pages). The B parts have no 0x9F.
#
# A D part can be switched (once, for good) to power-of-two pages; the same part then needs the
# other entry. Only the status tells the two modes apart, so both entries of such a pair check
# it in Read ID (mask 0xBD: all but COMP and protect), and the power-of-two entry is found by
# detection on the status (first Read_ID entry) before the JEDEC ID finds the standard one.
# The B parts give the same status as the D parts in their standard mode and nothing else, so
# detection cannot tell them from a D part: they are chosen by hand (Read ID still checks them).
ST_MASK = 0xBC
MODE_MASK = 0xBD
NOT_DETECTED = (0x55AAAA55, 0xFFFFFFFF)


def status_detect(status: int) -> tuple[int, int]:
    """Detection on the 0xD7 answer: four status bytes with the page-size bit."""
    return status * 0x01010101, MODE_MASK * 0x01010101


# The D parts that identify by their status check the page-size bit too: one switched to
# power-of-two pages is refused rather than written in the wrong layout.
dataflash("AT45DB011D", "AT45DB011D 1 Mbit DataFlash, 264-byte pages, 2.7-3.6 V",
          Chip(jedec=(0x1F, 0x22, 0x00), status_d7=(0x8C,)), 512, 256, 8, "SPI_45_33V_264.drv",
          id_sel=2, id_bytes=1, id_mask=MODE_MASK)
dataflash("AT45DB021D", "AT45DB021D 2 Mbit DataFlash, 264-byte pages, 2.7-3.6 V",
          Chip(jedec=(0x1F, 0x23, 0x00), status_d7=(0x94,)), 1024, 256, 8, "SPI_45_33V_264.drv")
dataflash("AT45DB041B", "AT45DB041B 4 Mbit DataFlash, 264-byte pages, 2.7-3.6 V",
          Chip(status_d7=(0x9C,)), 2048, 256, 8, "SPI_45_33V_264.drv",
          id_sel=2, id_bytes=1, id_mask=ST_MASK, detect=NOT_DETECTED)
dataflash("AT45DB041D", "AT45DB041D 4 Mbit DataFlash, 264-byte pages, 2.7-3.6 V",
          Chip(jedec=(0x1F, 0x24, 0x00), status_d7=(0x9C,)), 2048, 256, 8, "SPI_45_33V_264.drv",
          id_sel=2, id_bytes=1, id_mask=MODE_MASK)
dataflash("AT45DB041D_256", "AT45DB041D 4 Mbit DataFlash, 256-byte pages, 2.7-3.6 V",
          Chip(jedec=(0x1F, 0x24, 0x00), status_d7=(0x9D,)), 2048, 256, 0, "SPI_45_33V_B256.drv",
          id_sel=2, id_bytes=1, id_mask=MODE_MASK, detect=status_detect(0x9D))
dataflash("AT45DB081D", "AT45DB081D 8 Mbit DataFlash, 264-byte pages, 2.7-3.6 V",
          Chip(jedec=(0x1F, 0x25, 0x00), status_d7=(0xA4,)), 4096, 256, 8, "SPI_45_33V_264.drv",
          id_sel=2, id_bytes=1, id_mask=MODE_MASK)
dataflash("AT45DB161B", "AT45DB161B 16 Mbit DataFlash, 528-byte pages, 2.7-3.6 V",
          Chip(status_d7=(0xAC,)), 4096, 512, 16, "SPI_45_33V_528.drv",
          id_sel=2, id_bytes=1, id_mask=ST_MASK, detect=NOT_DETECTED)
dataflash("AT45DB161D", "AT45DB161D 16 Mbit DataFlash, 528-byte pages, 2.7-3.6 V",
          Chip(jedec=(0x1F, 0x26, 0x00), status_d7=(0xAC,)), 4096, 512, 16, "SPI_45_33V_528.drv",
          id_sel=2, id_bytes=1, id_mask=MODE_MASK)
dataflash("AT45DB161D_512", "AT45DB161D 16 Mbit DataFlash, 512-byte pages, 2.7-3.6 V",
          Chip(jedec=(0x1F, 0x26, 0x00), status_d7=(0xAD,)), 4096, 512, 0, "SPI_45_33V_B512.drv",
          id_sel=2, id_bytes=1, id_mask=MODE_MASK, detect=status_detect(0xAD))
dataflash("AT45DB321D", "AT45DB321D 32 Mbit DataFlash, 528-byte pages, 2.7-3.6 V",
          Chip(jedec=(0x1F, 0x27, 0x01), status_d7=(0xB4,)), 8192, 512, 16, "SPI_45_33V_528.drv")
# AT45DB642D and the E part of the same density share their three ID bytes but not their pages
# (1056 against 264 bytes). The fourth byte of the 0x9F answer, the length of the extended
# device information, tells them apart: 00 on the D parts, 01 (and one byte 00) on the E parts.
dataflash("AT45DB642D", "AT45DB642D 64 Mbit DataFlash, 1056-byte pages, 2.7-3.6 V",
          Chip(jedec=(0x1F, 0x28, 0x00, 0x00), status_d7=(0xBC,)), 8192, 1024, 32,
          "SPI_45_33V_1056.drv", id_bytes=4, detect=(0x1F280000, 0xFFFFFFFF))
dataflash("AT45DB641E", "AT45DB641E 64 Mbit DataFlash, 264-byte pages, 1.7-3.6 V",
          Chip(jedec=(0x1F, 0x28, 0x00, 0x01, 0x00), status_d7=(0xBC, 0x80)), 32768, 256, 8,
          "SPI_45_33V_264.drv", id_bytes=4, detect=(0x1F280001, 0xFFFFFFFF))

# ---- Micron / Numonyx / ST (0x20) ----------------------------------------------------------
U = "Micron"
# M25P05-A and M25P10-A have only the electronic signature (0xAB); 32 KiB sectors.
flash25(U, "M25P05-A", "M25P05-A 512 Kbit serial flash, 2.7-3.6 V, RES only",
        Chip(res=0x05), 64 * KIB, id_sel=1, id_bytes=1, block=32 * KIB, erase_sel=4,
        menu="SR_BP2.ini")
flash25(U, "M25P10-A", "M25P10-A 1 Mbit serial flash, 2.7-3.6 V, RES only",
        Chip(res=0x10), 128 * KIB, id_sel=1, id_bytes=1, block=32 * KIB, menu="SR_BP2.ini",
        menu_ref="Menu\\sr_bp2.ini")
flash25(U, "M25P20", "M25P20 2 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0x20, 0x20, 0x12), res=0x11), 256 * KIB, menu="SR_BP2.ini")
for name, cap, size in [("M25P40", 0x13, 512 * KIB), ("M25P80", 0x14, 1 * MIB),
                        ("M25P16", 0x15, 2 * MIB), ("M25P32", 0x16, 4 * MIB),
                        ("M25P64", 0x17, 8 * MIB)]:
    mbit = size * 8 // MIB
    flash25(U, name, f"{name} {mbit} Mbit serial flash, 2.7-3.6 V",
            Chip(jedec=(0x20, 0x20, cap), res=cap - 1), size,
            erase_sel=4 if name == "M25P40" else 1, menu=None if name == "M25P80" else "SR_BP3.ini")
# M25P128: 256 KiB sectors.
flash25(U, "M25P128", "M25P128 128 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0x20, 0x20, 0x18), res=0x17), 16 * MIB, block=256 * KIB, menu="SR_BP3.ini")
flash25(U, "N25Q064A13", "N25Q064A13 64 Mbit serial flash, 2.7-3.6 V",
        jedec(0x20, 0xBA, 0x17), 8 * MIB, menu="SR1.ini", status_read=SR_N1)
flash25(U, "N25Q128A11", "N25Q128A11 128 Mbit serial flash, 1.7-2.0 V",
        jedec(0x20, 0xBB, 0x18), 16 * MIB, volt=18, menu="SR1.ini", status_read=SR_N1)

# ---- Spansion / Cypress (0x01) -------------------------------------------------------------
P = "Spansion"
flash25(P, "S25FL004A", "S25FL004A 4 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0x01, 0x02, 0x12), res=0x12), 512 * KIB, menu="SR_BP3.ini")
flash25(P, "S25FL008A", "S25FL008A 8 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0x01, 0x02, 0x13), res=0x13), 1 * MIB, menu="SR_BP3.ini")
# The S25FL-A parts erase the whole chip with 0xC7 only.
flash25(P, "S25FL016A", "S25FL016A 16 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0x01, 0x02, 0x14), res=0x14), 2 * MIB, erase_sel=1)
flash25(P, "S25FL032P", "S25FL032P 32 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0x01, 0x02, 0x15), res=0x15), 4 * MIB, menu="SR_CR.ini", status_read=SR_N2)
flash25(P, "S25FL064P", "S25FL064P 64 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0x01, 0x02, 0x16), res=0x16), 8 * MIB, menu="SR_CR.ini", status_read=SR_N2)
flash25(P, "S25FL128P", "S25FL128P 128 Mbit serial flash, 2.7-3.6 V, 64 KB sectors",
        Chip(jedec=(0x01, 0x20, 0x18), res=0x17), 16 * MIB, menu="SR_BP3.ini")
flash25(P, "S25FL116K", "S25FL116K 16 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0x01, 0x40, 0x15), res=0x14), 2 * MIB, menu="SR1_SR2.ini", status_read=SR_N2)

# ---- EON (0x1C) ----------------------------------------------------------------------------
E = "EON"
flash25(E, "EN25F40", "EN25F40 4 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0x1C, 0x31, 0x13), res=0x12), 512 * KIB, erase_sel=2, menu="SR_BP3.ini")
flash25(E, "EN25F80", "EN25F80 8 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0x1C, 0x31, 0x14), res=0x13), 1 * MIB, menu="SR_BP3.ini")
flash25(E, "EN25F16", "EN25F16 16 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0x1C, 0x31, 0x15), res=0x14), 2 * MIB, menu="SR_BP3.ini")
flash25(E, "EN25Q32B", "EN25Q32B 32 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0x1C, 0x30, 0x16), res=0x15), 4 * MIB, menu="SR1.ini", status_read=SR_N1)
flash25(E, "EN25Q64", "EN25Q64 64 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0x1C, 0x30, 0x17), res=0x16), 8 * MIB, menu="SR1.ini", status_read=SR_N1)
flash25(E, "EN25Q128", "EN25Q128 128 Mbit serial flash, 2.7-3.6 V",
        Chip(jedec=(0x1C, 0x30, 0x18), res=0x17), 16 * MIB, erase_sel=2, menu="SR1.ini",
        status_read=SR_N1)

# ---- ISSI (0x9D) ---------------------------------------------------------------------------
I = "ISSI"
flash25(I, "IS25LQ040B", "IS25LQ040B 4 Mbit serial flash, 2.3-3.6 V",
        Chip(jedec=(0x9D, 0x40, 0x13), res=0x12), 512 * KIB, menu="SR1.ini", status_read=SR_N1)
for name, cap, size in [("IS25LP080D", 0x14, 1 * MIB), ("IS25LP016D", 0x15, 2 * MIB),
                        ("IS25LP032D", 0x16, 4 * MIB), ("IS25LP064A", 0x17, 8 * MIB),
                        ("IS25LP128F", 0x18, 16 * MIB)]:
    mbit = size * 8 // MIB
    flash25(I, name, f"{name} {mbit} Mbit serial flash, 2.3-3.6 V",
            Chip(jedec=(0x9D, 0x60, cap), res=cap - 1), size, menu="SR1.ini",
            status_read=SR_N1)
flash25(I, "IS25WP032D", "IS25WP032D 32 Mbit serial flash, 1.65-1.95 V",
        Chip(jedec=(0x9D, 0x70, 0x16), res=0x15), 4 * MIB, volt=18, menu="SR1.ini",
        status_read=SR_N1)
flash25(I, "IS25WP064A", "IS25WP064A 64 Mbit serial flash, 1.65-1.95 V",
        Chip(jedec=(0x9D, 0x70, 0x17), res=0x16), 8 * MIB, volt=18, erase_sel=2, menu="SR1.ini",
        status_read=SR_N1)

VENDORS = ["Winbond", "Macronix", "GigaDevice", "SST", "Atmel", "Micron", "Spansion", "EON",
           "ISSI"]


# --------------------------------------------------------------------------------------------
# Sector tables of the AT26 parts (sector start addresses)
# --------------------------------------------------------------------------------------------

def at26_sectors() -> dict[str, tuple[int, list[int]]]:
    k = KIB
    return {
        # 4 Mbit: two 128 KB sectors, then four 64 KB sectors.
        "AT26DF041.txt": (512 * k, [0x00000, 0x20000, 0x40000, 0x50000, 0x60000, 0x70000]),
        # 8 Mbit: fifteen 64 KB sectors, the top 64 KB split into 32 KB, 8 KB, 8 KB and 16 KB.
        "AT26DF081A.txt": (1024 * k, [i * 0x10000 for i in range(15)]
                           + [0xF0000, 0xF8000, 0xFA000, 0xFC000]),
        # 16 Mbit: sixteen 128 KB sectors.
        "AT26DF161.txt": (2048 * k, [i * 0x20000 for i in range(16)]),
        # 32 Mbit: sixty-four 64 KB sectors.
        "AT26DF321.txt": (4096 * k, [i * 0x10000 for i in range(64)]),
    }


AT26_COUNT = {"AT26DF041": 6, "AT26DF081": 19, "AT26DF161": 16, "AT26DF321": 64}


# --------------------------------------------------------------------------------------------
# Parameter pages
# --------------------------------------------------------------------------------------------

def page_file(caption: str, pages: list[tuple[str, list[dict]]]) -> list[str]:
    """pages: (page caption, components); a component is a dict of its keys without number."""
    lines = [f"; TORQ-SPI parameter pages: {caption}", "[CurrentUserPage]", f"Total={len(pages)}"]
    lines += [f"PageCaption{p}={title}" for p, (title, _) in enumerate(pages)]
    lines += [f"Caption={caption}", "PageWidth=640", "PageHeight=300", ""]
    defaults = []
    for p, (_, comps) in enumerate(pages):
        lines += [f"[CurrentUserPage_{p}]", f"ComponentTotal={len(comps)}"]
        for c, comp in enumerate(comps):
            kind = comp["type"]
            lines.append(f"ComponentType{c}={kind}")
            if "caption" in comp:
                lines.append(f"ComponentCaption{c}={comp['caption']}")
            for key in ("Top", "Left", "Width", "Height"):
                if key in comp:
                    lines.append(f"{key}{c}={comp[key]}")
            if kind == 1:
                choices = comp["choices"]
                lines.append(f"Radio{c}Columns={comp.get('columns', 1)}")
                lines.append(f"Radio{c}Total={len(choices)}")
                lines += [f"Radio{c}String{i}={text}" for i, text in enumerate(choices)]
            if kind == 2:
                lines.append(f"ValueType{c}={comp['valuetype']}")
                lines.append(f"ValueMax{c}={comp['max']}")
                lines.append(f"ValueMin{c}=0")
            if kind == 3:
                text = comp["lines"]
                lines.append(f"Explation{c}Total={len(text)}")
                lines += [f"Explation{c}Line{i}={t}" for i, t in enumerate(text)]
            defaults.append(f"Page{p}Com{c}Set={comp.get('default', 0)}")
        lines.append("")
    lines += ["[CurrentUserPageSetup]"] + defaults
    return lines


def bp_radio(caption: str, choices: list[str], height: int, columns: int) -> dict:
    return {"type": 1, "caption": caption, "Top": 8, "Left": 8, "Width": 600, "Height": height,
            "columns": columns, "choices": choices, "default": 0}


def check(caption: str, top: int) -> dict:
    return {"type": 0, "caption": caption, "Top": top, "Left": 8, "default": 0}


def hex_field(caption: str, top: int, maximum: int = 255) -> dict:
    return {"type": 2, "caption": caption, "valuetype": 3, "max": maximum, "Top": top,
            "Left": 8, "Width": 40, "default": 0}


def explain(top: int, text: list[str], height: int = 96) -> dict:
    return {"type": 3, "Top": top, "Left": 8, "Width": 600, "Height": height, "lines": text}


def menus() -> dict[str, list[str]]:
    bp3 = ["None (000)", "Level 1 (001)", "Level 2 (010)", "Level 3 (011)", "Level 4 (100)",
           "Level 5 (101)", "Level 6 (110)", "All (111)"]
    return {
        "SR_BP2.ini": page_file("Block protection, BP1-BP0", [("Protect", [
            bp_radio("Block protect (BP1-BP0)",
                     ["None (00)", "Level 1 (01)", "Level 2 (10)", "All (11)"], 72, 4),
            check("Status register protect (SRWD)", 92),
            explain(124, ["BP1-BP0 are status register bits 3-2, SRWD is bit 7.",
                          "Level 1 and 2 protect the top of the array; the size of the",
                          "protected area depends on the part (see its data sheet).",
                          "SRWD locks the status register while /W is held low."]),
        ])]),
        "SR_BP3.ini": page_file("Block protection, BP2-BP0", [("Protect", [
            bp_radio("Block protect (BP2-BP0)", bp3, 104, 4),
            check("Status register protect (SRWD)", 124),
            explain(156, ["BP2-BP0 are status register bits 4-2, SRWD is bit 7.",
                          "Each level protects a larger area at the top of the array,",
                          "level 1 the smallest; the sizes depend on the density.",
                          "SRWD locks the status register while /WP is held low."]),
        ])]),
        "SR_BP4.ini": page_file("Block protection, BP3-BP0", [("Protect", [
            hex_field("Block protect BP3-BP0", 8, 15),
            check("Status register protect (SRWD)", 40),
            explain(72, ["BP3-BP0 (0 to F) go to status register bits 5-2, SRWD to bit 7.",
                         "0 protects nothing, F protects the whole array; the levels in",
                         "between protect a growing area at the top of the array.",
                         "SRWD locks the status register while /WP is held low."]),
        ])]),
        "SST_BPL.ini": page_file("SST block protection", [("Protect", [
            hex_field("Block protect BP3-BP0", 8, 15),
            check("Block protect lock (BPL)", 40),
            explain(72, ["BP bits go to status register bits 5-2, BPL to bit 7.",
                         "The A parts have BP1-BP0 only (values 0 to 3), the B parts",
                         "BP2-BP0 or BP3-BP0. 0 protects nothing, the highest value",
                         "the whole array. BPL makes the BP bits read-only while /WP",
                         "is held low."], 112),
        ])]),
        "AT25_WPEN.ini": page_file("Atmel block protection", [("Protect", [
            bp_radio("Block protect (BP1-BP0)",
                     ["None", "Upper quarter", "Upper half", "All"], 72, 4),
            check("Write protect enable (WPEN)", 92),
            explain(124, ["BP1-BP0 are status register bits 3-2, WPEN is bit 7.",
                          "With WPEN set and /WP low the status register is read-only.",
                          "AT25F parts: BP bits as in the part's data sheet."]),
        ])]),
        "SR1_SR2.ini": page_file("Status registers 1 and 2", [
            ("Status", [
                hex_field("Status register 1", 8),
                hex_field("Status register 2", 40),
                explain(72, ["Both bytes are written with one Write Status (0x01)",
                             "command; Read fills them in from the chip."], 56),
            ]),
            ("Bits", [
                explain(8, ["Winbond layout; GigaDevice and S25FL1-K parts are alike.",
                            "Status register 1:",
                            "  bit 7 SRP0, bit 6 SEC, bit 5 TB, bits 4-2 BP2-BP0,",
                            "  bit 1 WEL, bit 0 BUSY (both read-only)",
                            "Status register 2:",
                            "  bit 6 CMP, bits 5-3 LB3-LB1 (one-time), bit 1 QE, bit 0 SRP1",
                            "Security register lock bits LB cannot be cleared again."], 160),
            ]),
        ]),
        "SR_CR.ini": page_file("Status and configuration register", [
            ("Status", [
                hex_field("Status register", 8),
                hex_field("Configuration register", 40),
                explain(72, ["Both bytes are written with one Write Status (0x01)",
                             "command; Read fills them in from the chip."], 56),
            ]),
            ("Bits", [
                explain(8, ["Status register: bit 7 SRWD, block protect from bit 2 up,",
                            "  bit 1 WEL, bit 0 WIP (both read-only)",
                            "Configuration register: one-time bits (such as the top/bottom",
                            "  protection choice) cannot be cleared again; leave them 0",
                            "  unless the part's data sheet says otherwise."], 120),
            ]),
        ]),
        "SR1.ini": page_file("Status register", [("Status", [
            hex_field("Status register", 8),
            explain(40, ["Written with Write Status (0x01); Read fills it in from the chip.",
                         "Bit 7 SRWD, bit 6 QE (ISSI) or BP3 (Micron), bits 5-2 block",
                         "protect (Micron: bit 5 TB), bits 1-0 WEL and WIP (read-only)."], 80),
        ])]),
    }


# --------------------------------------------------------------------------------------------
# Driver images
# --------------------------------------------------------------------------------------------

def hex_record(address: int, data: bytes, kind: int = 0) -> str:
    body = bytes([len(data), address >> 8, address & 0xFF, kind]) + data
    checksum = (-sum(body)) & 0xFF
    return ":" + body.hex().upper() + f"{checksum:02X}"


def driver_image(family: int, millivolts: int, page: int) -> str:
    stub = bytes([0x80, 0xFE]) + bytes(14)            # SJMP $
    descriptor = (b"TQDI" + bytes([1, family, millivolts >> 8, millivolts & 0xFF,
                                   page >> 8, page & 0xFF]) + bytes(6))
    assert len(descriptor) == 16
    lines = [hex_record(0x0000, stub), hex_record(0x1F00, descriptor), ":00000001FF"]
    return CRLF.join(lines) + CRLF


# --------------------------------------------------------------------------------------------
# Writing
# --------------------------------------------------------------------------------------------

def numbered(n: int) -> str:
    return f"{n:04X}"


def split_size(size: int) -> tuple[str, str]:
    """max_address_Hi and _Low: the Low text without "0x" carries the low six hex digits."""
    return f"0x{size >> 24:02X}", f"0x{size & 0xFFFFFF:06X}"


def size_text(size: int) -> str:
    bits = size * 8
    return f"{bits // MIB} Mbit" if bits >= MIB else f"{bits // KIB} Kbit"


def expected_id(d: Device) -> tuple[int, int]:
    """(ManCode, DevCode) for Read ID with the device's selector."""
    if d.id_value is not None:
        return d.id_value, d.id_mask if d.id_mask is not None else (1 << 8 * d.id_bytes) - 1
    answer = chip_answer(d.chip, ID_OPCODE[d.id_sel])
    raw = answer[ID_OFFSET[d.id_sel]:ID_OFFSET[d.id_sel] + d.id_bytes]
    assert None not in raw, d.name
    mask = d.id_mask if d.id_mask is not None else (1 << 8 * d.id_bytes) - 1
    return int.from_bytes(bytes(raw), "big") & mask, mask


def detection_codes(d: Device) -> tuple[int, int]:
    """(_ManCode, _DevCode) in Select.ini: four answer bytes, first most significant."""
    if d.detect:
        return d.detect
    c = d.chip
    if c.jedec:
        return int.from_bytes(bytes(c.jedec[:3]), "big") << 8, 0xFFFFFF00
    if c.res is not None:
        return c.res << 24, 0xFF000000
    if c.rems:
        return (c.rems[0] << 24) | (c.rems[1] << 16), 0xFFFF0000
    if c.rdid15:
        return (c.rdid15[0] << 24) | (c.rdid15[1] << 16), 0xFFFF0000
    raise ValueError(d.name + ": no way to detect")


def device_file(d: Device) -> list[str]:
    man, dev = expected_id(d)
    hi, low = split_size(d.size)
    mv = 180 if d.volt == 18 else 330
    block_bytes = d.page_of_block * (d.page + d.spare)
    lines = [f"; TORQ-SPI device file: {d.vendor} {d.description}", "[TORQ-SPI_ExternValue]",
             f"BRAND={d.vendor}", f"NAME={d.name}", f"UserWav={d.driver_image}", "FPGAFile="]
    if d.menu:
        lines.append("Menu=" + (d.menu_ref or "Menu\\" + d.menu))
    if d.sector_table:
        lines.append("Sector_table=Sector\\" + d.sector_table)
    lines += [f"ManCode=0x{man:0{2 * d.id_bytes}X}", f"DevCode=0x{dev:0{2 * d.id_bytes}X}",
              f"max_address_Hi={hi}", f"max_address_Low={low}",
              f"BlockCount={d.size // block_bytes}", f"PageOfBlock={d.page_of_block}",
              f"Page_Size={d.page}", f"PageSpareSize={d.spare}", f"BlockSize=0x{block_bytes:X}",
              f"ICSIZE={size_text(d.size - d.size * d.spare // (d.page + d.spare))}",
              f"VIO={mv}", f"read_vcc={mv}", f"erase_vcc={mv}", f"program_vcc={mv}",
              f"protect_vcc={mv}", f"id_vcc={mv}",
              f"erase_mode=0x{d.erase_sel << 8:04X}", f"prog_mode=0x{d.prog:04X}",
              f"prot_mode=0x{1 if d.pages else 0:04X}",
              f"id_mode=0x{(d.id_sel << 8) | d.id_bytes:04X}",
              f"Read_Status_Register={len(d.status_read)}"]
    lines += [f"Read_Status_Register_{i}=0x{op:02X}" for i, op in enumerate(d.status_read, 1)]
    return lines


def select_ini() -> list[str]:
    lines = ["; TORQ-SPI device library index", "[Machine]", "Type=TORQ-SPI", "MainCode=0x0103", "",
             "[Date]", "Date=2026/12/01", "", "[Vendor]", f"Value={len(VENDORS)}"]
    lines += [f"{numbered(i)}={v}" for i, v in enumerate(VENDORS, 1)]
    lines.append("")
    for vendor in VENDORS:
        types = [d for d in DEVICES if d.vendor == vendor]
        lines += [f"[{vendor}]", f"Value={len(types)}"]
        lines += [f"{numbered(i)}={d.name}" for i, d in enumerate(types, 1)]
        for d in types:
            man, mask = detection_codes(d)
            lines += [f"{d.name}={d.file_ref or d.file_name}", f"{d.name}_ManCode=0x{man:08X}",
                      f"{d.name}_DevCode=0x{mask:08X}"]
        lines.append("")
    lines += ["[Read_ID]", f"Value={len(READ_ID)}"]
    lines += [f"{numbered(i)}=0x{op:02X},{offset}" for i, (op, offset) in enumerate(READ_ID, 1)]
    lines += ["", "[VCC]", "V18=1", "V25=1", "V33=1"]
    return lines


def sector_file(starts: list[int], size: int) -> list[str]:
    ends = starts[1:] + [size]
    return [f"0X{s:06X},0X{e - 1:06X}," for s, e in zip(starts, ends)]


def write_text(path: Path, lines: list[str], newline: str = CRLF) -> None:
    path.parent.mkdir(parents=True, exist_ok=True)
    with open(path, "w", newline="") as out:
        out.write(newline.join(lines) + newline)


def clean() -> None:
    for folder, pattern in [("Ini", "*.ini"), ("Menu", "*.ini"), ("Sector", "*.txt"),
                            ("Drv", "*.drv"), ("Drv/FLASH", "*.drv")]:
        for path in (DATA / folder).glob(pattern):
            path.unlink()


def write_all() -> None:
    clean()
    write_text(DATA / "Select.ini", select_ini())
    for d in DEVICES:
        write_text(DATA / "Ini" / d.file_name, device_file(d))
    for name, lines in menus().items():
        write_text(DATA / "Menu" / name, lines)
    for name, (size, starts) in at26_sectors().items():
        write_text(DATA / "Sector" / name, sector_file(starts, size))
    for name, layout in {**DEVICE_IMAGES, **DETECTION_IMAGES}.items():
        path = DATA / "Drv" / name
        path.parent.mkdir(parents=True, exist_ok=True)
        with open(path, "w", newline="") as out:
            out.write(driver_image(*layout))


# --------------------------------------------------------------------------------------------
# Checks
# --------------------------------------------------------------------------------------------

UNKNOWN = None


def chip_answer(c: Chip, opcode: int, idle: int = 0xFF) -> list[int | None]:
    """First eight answer bytes as the programmer hands them over; None = not known."""
    def repeat(pattern):
        return [pattern[i % len(pattern)] for i in range(8)]

    if opcode == 0x9F and c.jedec:
        return list(c.jedec) + [UNKNOWN] * 5
    if opcode == 0xAB and c.sst_ab_is_rems and c.rems:
        return [UNKNOWN] * 3 + repeat(c.rems)[:5]
    if opcode == 0xAB and c.res is not None:
        return [UNKNOWN] * 3 + [c.res] * 5
    if opcode == 0x90 and c.rems:
        return repeat(c.rems)
    if opcode == 0x15 and c.rdid15:
        return list(c.rdid15) + [UNKNOWN] * 6
    if opcode == 0x15 and c.answers_15:
        return [UNKNOWN] * 8
    if opcode == 0xD7 and c.status_d7 is not None:
        return repeat(c.status_d7)
    return [idle] * 8


def may_match(window: list[int | None], value: int, mask: int) -> tuple[bool, bool]:
    """(could match, surely matches) for four answer bytes against a detection entry."""
    sure = True
    for i, byte in enumerate(window):
        m = (mask >> (24 - 8 * i)) & 0xFF
        v = (value >> (24 - 8 * i)) & 0xFF
        if m == 0:
            continue
        if byte is None:
            sure = False
            continue
        if byte & m != v:
            return False, False
    return True, sure


def detect(chip: Chip, volt: int, idle: int) -> tuple[list[str], str | None]:
    """Automatic detection over the three levels; returns (possible earlier hits, sure hit)."""
    doubtful = []
    order = [d for v in VENDORS for d in DEVICES if d.vendor == v]
    for level in (18, 25, 33):
        for opcode, offset in READ_ID:
            answer = chip_answer(chip, opcode, idle) if level == volt else [idle] * 8
            window = answer[offset:offset + 4]
            for d in order:
                value, mask = detection_codes(d)
                could, sure = may_match(window, value, mask)
                if sure:
                    return doubtful, d.name
                if could:
                    doubtful.append(f"{d.name} at 0x{opcode:02X}")
    return doubtful, None


def parse_sector_table(path: Path, count: int) -> list[int]:
    """The sector table reader of the program."""
    starts, found = [], 0
    for raw in path.read_bytes().decode("ascii").split("\n"):
        if found > count:
            break
        line = raw.rstrip("\r").upper()
        while True:
            comma = line.find(",")
            entry = line if comma < 0 else line[:comma]
            line = "" if comma < 0 else line[comma + 1:]
            entry = entry.strip()
            if not entry or entry in line:
                break
            found += 1
            if len(starts) < count:
                starts.append(int(entry[2:] if entry.startswith("0X") else entry, 16) & 0xFFFFFF)
            if len(line) <= 9:
                break
    if found != count:
        raise AssertionError(f"{path.name}: {found} entries, expected {count}")
    return starts


def read_ini(path: Path) -> dict[str, dict[str, str]]:
    data = path.read_bytes()
    text = data.decode("ascii")
    assert "\n" not in text.replace("\r\n", ""), f"{path}: not CRLF"
    sections: dict[str, dict[str, str]] = {}
    current = None
    for line in text.split("\r\n"):
        line = line.strip()
        if not line or line.startswith(";"):
            continue
        if line.startswith("["):
            current = sections.setdefault(line[1:-1].lower(), {})
            continue
        key, _, value = line.partition("=")
        assert current is not None and _, f"{path}: {line}"
        assert key.strip().lower() not in current, f"{path}: {key} twice"
        current[key.strip().lower()] = value.strip()
    return sections


def find(folder: Path, relative: str) -> Path:
    """Library paths: '\\' separators, letter case not significant."""
    current = folder
    for part in relative.replace("\\", "/").split("/"):
        matches = [p for p in current.iterdir() if p.name.lower() == part.lower()]
        if not matches:
            raise AssertionError(f"{relative} not found")
        current = matches[0]
    return current


def number(text: str) -> int:
    return int(text, 16) if text.lower().startswith("0x") else int(text)


def check_hex(path: Path, layout: tuple[int, int, int]) -> None:
    raw = path.read_bytes().decode("ascii")
    assert raw.endswith("\r\n") and "\n" not in raw.replace("\r\n", ""), path
    memory = {}
    lines = raw.split("\r\n")[:-1]
    assert lines[-1] == ":00000001FF", path
    for line in lines:
        body = bytes.fromhex(line[1:])
        assert sum(body) & 0xFF == 0 and body[0] == len(body) - 5, path
        if body[3] == 0:
            assert body[0] == 16
            address = (body[1] << 8) | body[2]
            for i, b in enumerate(body[4:-1]):
                memory[address + i] = b
    desc = bytes(memory.get(0x1F00 + i, 0) for i in range(16))
    family, mv, page = layout
    assert desc[:4] == b"TQDI" and desc[4] == 1 and desc[5] == family, path
    assert int.from_bytes(desc[6:8], "big") == mv and int.from_bytes(desc[8:10], "big") == page
    assert memory[0] == 0x80 and memory[1] == 0xFE, path


def check_all() -> None:
    problems = []
    index = read_ini(DATA / "Select.ini")
    assert index["machine"]["type"] == "TORQ-SPI"
    vendors = [index["vendor"][numbered(i).lower()] for i in range(1, int(index["vendor"]["value"]) + 1)]
    names = set()
    for vendor in vendors:
        section = index[vendor.lower()]
        for j in range(1, number(section["value"]) + 1):
            name = section[numbered(j).lower()]
            assert name not in names, name
            names.add(name)
            find(DATA / "Ini", section[name.lower()])
    assert names == {d.name for d in DEVICES}

    images = {**DEVICE_IMAGES, **DETECTION_IMAGES}
    for name, layout in images.items():
        check_hex(DATA / "Drv" / name, layout)

    for d in DEVICES:
        f = read_ini(find(DATA / "Ini", d.file_ref or d.file_name))["torq-spi_externvalue"]
        where = d.name
        image = f["userwav"]
        find(DATA / "Drv", image)
        family, mv, image_page = images[image]
        if ("_45" in image) != (d.family == 45) or (d.family == 25 and "_25" not in image):
            problems.append(f"{where}: image {image} does not fit the family")
        if "_45" in image and "_25" in image:
            problems.append(f"{where}: image name {image} holds both _25 and _45")
        if mv != (1800 if d.volt == 18 else 3300):
            problems.append(f"{where}: image voltage")
        size = number(f["max_address_hi"] + f["max_address_low"][2:])
        page, spare = number(f["page_size"]), number(f["pagesparesize"])
        blocks, pob = number(f["blockcount"]), number(f["pageofblock"])
        if size != d.size or blocks * pob * (page + spare) != size:
            problems.append(f"{where}: geometry {blocks}x{pob}x{page + spare} vs {size}")
        if d.family == 45 and image_page != page + spare:
            problems.append(f"{where}: image page size {image_page} vs {page + spare}")
        if d.family == 25 and not (1 <= number(f["erase_mode"]) >> 8 & 0xFF <= 6
                                   and number(f["prog_mode"]) & 0xFF in (1, 2, 3)):
            problems.append(f"{where}: erase or program mode")
        if d.family == 25 and page > 256:
            problems.append(f"{where}: page does not fit the page program block")
        if (number(f["prot_mode"]) != 0) != ("menu" in f):
            problems.append(f"{where}: prot_mode and Menu disagree")
        if "menu" in f:
            pages = read_ini(find(DATA, f["menu"]))
            n = number(f["read_status_register"])
            page0 = pages["currentuserpage_0"]
            total = number(pages["currentuserpage"]["total"])
            setup = pages["currentuserpagesetup"]
            for p in range(total):
                for c in range(number(pages[f"currentuserpage_{p}"]["componenttotal"])):
                    assert f"page{p}com{c}set" in setup, (f["menu"], p, c)
            if n == 0:
                # Protect reads component 0 (block protect) and 1 (SRWD) of every page.
                if total != 1 or page0["componenttype0"] not in ("1", "2") \
                        or page0["componenttype1"] != "0":
                    problems.append(f"{where}: {f['menu']} unfit for a status byte built from BP")
            else:
                for c in range(n):
                    if page0.get(f"componenttype{c}") != "2" or page0.get(f"valuetype{c}") != "3":
                        problems.append(f"{where}: {f['menu']} component {c} is not a hex byte")
        if d.sector_table or "AT26" in d.name:
            tag = next(t for t in AT26_COUNT if t in d.name)
            starts = parse_sector_table(find(DATA, f["sector_table"]), AT26_COUNT[tag])
            if starts[0] != 0 or starts != sorted(set(starts)) or starts[-1] >= size:
                problems.append(f"{where}: sector starts")

        # Read ID against the chip's own answer (the programmer's answer bytes).
        mode = number(f["id_mode"])
        n, sel = mode & 0xFF, mode >> 8 & 0xFF
        answer = chip_answer(d.chip, ID_OPCODE[sel])
        raw = answer[ID_OFFSET[sel]:ID_OFFSET[sel] + n]
        mask, man = number(f["devcode"]), number(f["mancode"])
        if None in raw and mask != 0:
            problems.append(f"{where}: Read ID uses bytes the chip does not give")
        else:
            read = int.from_bytes(bytes(b or 0 for b in raw), "big")
            if f"{read & mask:0{2 * n}X}" != f"{man:0{2 * n}X}":
                problems.append(f"{where}: Read ID {read:X} & {mask:X} != {man:X}")

        # DataFlash parts with the same ID but another page layout must fail Read ID, so that
        # a wrong entry stops before the page-size set-up (a one-way switch) or a program.
        for other in DEVICES:
            if (other is d or d.family != 45 or other.family != 45 or not d.chip.jedec
                    or not other.chip.jedec or d.chip.jedec[:3] != other.chip.jedec[:3]
                    or d.page + d.spare == other.page + other.spare):
                continue
            theirs = chip_answer(other.chip, ID_OPCODE[sel])[ID_OFFSET[sel]:ID_OFFSET[sel] + n]
            if None in theirs or int.from_bytes(bytes(theirs), "big") & mask == man:
                problems.append(f"{where}: Read ID may pass the {other.name} layout")

    # Automatic detection with the chip's answers; unknown answer bytes may hold anything, a
    # part that does not know an opcode answers all 0xFF or all 0x00.
    for d in DEVICES:
        for idle in (0xFF, 0x00):
            doubtful, hit = detect(d.chip, d.volt, idle)
            expected = {d.name}
            if d.detect == NOT_DETECTED:
                if hit is not None or doubtful:
                    problems.append(f"{d.name}: detection finds {hit} {doubtful}")
                continue
            if hit not in expected:
                problems.append(f"{d.name}: detection finds {hit}")
            bad = [x for x in doubtful if x.split(" ")[0] not in expected]
            if bad:
                problems.append(f"{d.name}: detection may first find {bad}")

    if problems:
        sys.exit("library check failed:\n  " + "\n  ".join(problems))


def main() -> None:
    if "--check" not in sys.argv:
        write_all()
    check_all()
    print(f"{len(DEVICES)} devices from {len(VENDORS)} vendors written to {DATA} and checked")


if __name__ == "__main__":
    main()
