"""Prints every key of an INI file as read by Python's configparser: section, key and value
separated by tabs, one key per line."""
import configparser
import sys

parser = configparser.ConfigParser(strict=False, interpolation=None)
parser.optionxform = str  # keep the keys' case
with open(sys.argv[1], encoding="latin-1") as f:
    parser.read_file(f)
for section in parser.sections():
    for key, value in parser.items(section):
        print(f"{section}\t{key}\t{value}")
