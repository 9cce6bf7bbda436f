# Adds up GoogleTest XML results and prints "N passed, N failed[, N skipped]"; exit 1 on failure.
import sys
import xml.etree.ElementTree as ET

broken = int(sys.argv[1])
passed = failed = skipped = 0
for path in sys.argv[2:]:
    try:
        root = ET.parse(path).getroot()
    except (ET.ParseError, OSError):
        print(f"test: unreadable results {path}")
        failed += 1
        continue
    for case in root.iter("testcase"):
        if case.find("failure") is not None or case.find("error") is not None:
            failed += 1
            print(f"FAILED {path.split('/')[1]}: {case.get('classname')}.{case.get('name')}")
        elif case.get("result") == "skipped" or case.find("skipped") is not None or case.get("status") == "notrun":
            skipped += 1
        else:
            passed += 1
failed += broken
line = f"{passed} passed, {failed} failed"
if skipped:
    line += f", {skipped} skipped"
print(line)
sys.exit(1 if failed else 0)
