"""Parses FFData documents with a real XML parser and checks what every
document must hold: valid UTF-8, well-formed XML, the FFData shape, and for
the known forms as many Field elements on a page as its Fields Count says."""
import sys
import xml.etree.ElementTree as ET

KNOWN_PAGES = {"FR0671", "FR0671P", "FR0672", "FR0672P", "FR0572", "FR0572A", "SAM", "SAM3SD"}


def check(path):
    data = open(path, "rb").read()
    data.decode("utf-8")  # strict: raises on any invalid sequence
    root = ET.fromstring(data)
    if root.tag != "FFData":
        raise ValueError("root is " + root.tag)
    pages = root.find("Form/Pages")
    if pages is None:
        raise ValueError("no Form/Pages")
    count = int(pages.get("Count"))
    found = pages.findall("Page")
    # The earlier FR0671/FR0672 layout says 0 for a first page without rows.
    if count != len(found) and not (count == 0 and len(found) == 1):
        raise ValueError(f"Pages Count {count} but {len(found)} Page elements")
    for page in found:
        fields = page.find("Fields")
        if page.get("PageDefName") in KNOWN_PAGES:
            n = len(fields.findall("Field"))
            if int(fields.get("Count")) != n:
                raise ValueError(f"page {page.get('PageNumber')}: Fields Count "
                                 f"{fields.get('Count')} but {n} fields")


def main():
    bad = 0
    for path in sys.argv[1:]:
        try:
            check(path)
        except Exception as e:  # noqa: BLE001 - every failure is reported the same way
            print(f"{path}: {e}")
            bad += 1
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
