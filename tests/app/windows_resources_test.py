"""Reads the Windows resources back, from the compiled resource script (.res) or from the
executable itself (.exe, through wrestool of icoutils): the version block, the icon group and the
manifest."""

import re
import struct
import subprocess
import sys
import unittest

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
RESOURCES_PATH = ""


def read_resources(data):
    """The entries of a .res file, as {(type, name): bytes}."""
    resources, offset = {}, 0
    while offset < len(data):
        size, header_size = struct.unpack_from("<II", data, offset)
        kind, at = read_id(data, offset + 8)
        name, _ = read_id(data, at)
        body = offset + header_size
        if size:
            resources[(kind, name)] = data[body : body + size]
        offset = align(body + size)
    return resources


def read_executable_resources(path):
    """The resources of an executable, as {(type, name): bytes}."""
    listing = subprocess.run(["wrestool", "--list", path], capture_output=True, text=True, check=True).stdout
    resources = {}
    for kind, name in re.findall(r"--type=(\d+) --name=(\d+)", listing):
        extract = ["wrestool", "--extract", "--raw", f"--type={kind}", f"--name={name}", path]
        resources[(int(kind), int(name))] = subprocess.run(extract, capture_output=True, check=True).stdout
    return resources


def read_id(data, at):
    """A resource type or name: a number after 0xFFFF, or a NUL-terminated UTF-16 string."""
    if struct.unpack_from("<H", data, at)[0] == 0xFFFF:
        return struct.unpack_from("<H", data, at + 2)[0], at + 4
    end = at
    while struct.unpack_from("<H", data, end)[0]:
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def align(offset):
    return (offset + 3) & ~3


def read_version_node(data, at=0):
    """One node of a version block: (key, value, children)."""
    length, value_length, is_text = struct.unpack_from("<HHH", data, at)
    key, value_at = read_id(data, at + 6)
    value_at = align(value_at)
    value_size = value_length * 2 if is_text else value_length
    value = data[value_at : value_at + value_size]
    if is_text:
        value = value.decode("utf-16-le").rstrip("\0")
    children, child = [], align(value_at + value_size)
    while child < at + length:
        children.append(read_version_node(data, child))
        child = align(child + struct.unpack_from("<H", data, child)[0])
    return key, value, children


class WindowsResources(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if RESOURCES_PATH.endswith(".exe"):
            cls.resources = read_executable_resources(RESOURCES_PATH)
        else:
            with open(RESOURCES_PATH, "rb") as res:
                cls.resources = read_resources(res.read())

    def of_type(self, kind):
        return {name: data for (k, name), data in self.resources.items() if k == kind}

    def test_fixed_version_part(self):
        (block,) = self.of_type(RT_VERSION).values()
        key, fixed, _ = read_version_node(block)
        self.assertEqual(key, "VS_VERSION_INFO")
        fields = struct.unpack_from("<13I", fixed)
        self.assertEqual(fields[0], 0xFEEF04BD)
        self.assertEqual(fields[2:4], (1 << 16, 0), "file version 1.0.0.0")
        self.assertEqual(fields[4:6], (1 << 16, 0), "product version 1.0.0.0")
        self.assertEqual(fields[8], 0x4, "32-bit Windows")
        self.assertEqual(fields[9], 0x1, "application")

    def test_strings_and_translation(self):
        (block,) = self.of_type(RT_VERSION).values()
        _, _, children = read_version_node(block)
        by_key = {key: nodes for key, _, nodes in children}
        ((language, _, strings),) = by_key["StringFileInfo"]
        self.assertEqual(language, "040904B0")
        self.assertEqual(
            {key: value for key, value, _ in strings},
            {
                "ProductName": "Tablinor - Verdusk",
                "FileVersion": "1.00",
                "ProductVersion": "1.00",
                "InternalName": "Tablinor - Verdusk",
                "OriginalFilename": "Tablinor - Verdusk.exe",
            },
        )
        ((key, translation, _),) = by_key["VarFileInfo"]
        self.assertEqual(key, "Translation")
        self.assertEqual(struct.unpack("<HH", translation), (0x0409, 0x04B0))

    def test_icon_group_of_three_images(self):
        (group,) = self.of_type(RT_GROUP_ICON).values()
        _, kind, count = struct.unpack_from("<HHH", group)
        self.assertEqual((kind, count), (1, 3))
        images = self.of_type(RT_ICON)
        found = []
        for i in range(count):
            width, height, colours, _, _, bits, size, image_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
            bitmap = images[image_id]
            self.assertEqual(len(bitmap), size)
            # The image itself agrees with its directory entry.
            _, bitmap_width, bitmap_height, _, bitmap_bits = struct.unpack_from("<IiiHH", bitmap)
            self.assertEqual((bitmap_width, bitmap_height // 2, bitmap_bits), (width, height, bits))
            found.append((width, height, colours, bits))
        self.assertEqual(found, [(32, 32, 2, 1), (32, 32, 16, 4), (16, 16, 16, 4)])

    def test_manifest(self):
        """Windows starts the program scaling its own windows, with the user's rights."""
        manifest = self.of_type(RT_MANIFEST)[1].decode("utf-8")
        self.assertIn(">PerMonitorV2, PerMonitor</dpiAwareness>", manifest)
        self.assertIn(">true/pm</dpiAware>", manifest)
        self.assertIn('level="asInvoker"', manifest)


if __name__ == "__main__":
    RESOURCES_PATH = sys.argv.pop(1)
    unittest.main(verbosity=2)
