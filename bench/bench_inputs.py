# Builds the benchmark inputs (source-tree ZIP, mixed-data ZIP, small-files ZIP, small archives,
# file tree, ZIPs of many files of one size).
import json
import os
import random
import shutil
import stat
import subprocess
import zipfile

# Characters Windows refuses in names; such files are left out so both builds see one tree.
_WINDOWS_BAD = set('<>:"|?*\\')
# Workspace prefix plus the relative path must stay under 260 characters under Wine.
_MAX_RELATIVE = 150


def _windows_safe(relative):
    if len(relative) > _MAX_RELATIVE:
        return False
    for part in relative.split("/"):
        if not part or part[-1] in ". " or any(c in _WINDOWS_BAD or ord(c) < 32 for c in part):
            return False
    return True


def _source_files(roots):
    """Regular files below the roots in a fixed order, as (path, relative name)."""
    for root in roots:
        base = os.path.basename(root.rstrip("/"))
        for folder, dirs, files in os.walk(root):
            dirs.sort()
            for name in sorted(files):
                path = os.path.join(folder, name)
                if os.path.islink(path) or not os.path.isfile(path):
                    continue
                yield path, base + "/" + os.path.relpath(path, root)


def _copy_tree(roots, staging, target_bytes):
    """Copies files until target_bytes, skipping names that would clash on a case-blind disk."""
    files_taken, bytes_taken = 0, 0
    taken_lower, folders_lower = set(), set()
    for path, relative in _source_files(roots):
        try:
            relative.encode("utf-8")
        except UnicodeEncodeError:
            continue
        lower = relative.lower()
        parts = lower.split("/")
        prefixes = ["/".join(parts[:i]) for i in range(1, len(parts))]
        if (not _windows_safe(relative) or lower in taken_lower or lower in folders_lower
                or any(p in taken_lower for p in prefixes)):
            continue
        try:
            size = os.path.getsize(path)
            os.makedirs(os.path.join(staging, os.path.dirname(relative)), exist_ok=True)
            shutil.copyfile(path, os.path.join(staging, relative))
        except OSError:
            continue
        taken_lower.add(lower)
        folders_lower.update(prefixes)
        files_taken += 1
        bytes_taken += size
        if bytes_taken >= target_bytes:
            break
    return files_taken, bytes_taken


def _archive(archiver, target, members, cwd, switches=()):
    if os.path.exists(target):
        os.remove(target)
    subprocess.run([archiver, "a", "-tzip", *switches, target, *members], cwd=cwd,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, check=True)


def make_tree_zip(archiver, target, roots, target_bytes):
    staging = target + ".staging"
    shutil.rmtree(staging, ignore_errors=True)
    os.makedirs(staging)
    files, size = _copy_tree(roots, staging, target_bytes)
    _archive(archiver, target, sorted(os.listdir(staging)), staging)
    shutil.rmtree(staging)
    return {"files": files, "unpacked_bytes": size, "zip_bytes": os.path.getsize(target)}


def _text_stream(roots):
    while True:
        for path, _ in _source_files(roots):
            try:
                with open(path, "rb") as f:
                    yield f.read()
            except OSError:
                continue


def make_mixed_zip(archiver, target, size, text_roots):
    """One file: the first half seeded noise, the second half system text; then zipped."""
    data_file = os.path.join(os.path.dirname(target), "mixed-data.bin")
    rng = random.Random(20240601)
    noise = size // 2
    with open(data_file, "wb") as out:
        chunk = 1 << 22
        written = 0
        while written < noise:
            n = min(chunk, noise - written)
            out.write(rng.randbytes(n))
            written += n
        stream = _text_stream(text_roots)
        while written < size:
            piece = next(stream)[: size - written]
            out.write(piece)
            written += len(piece)
    # Fast Deflate: only the extraction of this input is timed.
    _archive(archiver, target, [os.path.basename(data_file)], os.path.dirname(target), ["-mx=1"])
    os.remove(data_file)
    return {"files": 1, "unpacked_bytes": size, "zip_bytes": os.path.getsize(target)}


def make_batch(folder, count, text_roots):
    """count small ZIPs of 3 to 8 members each: text pieces and a little noise."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    rng = random.Random(7)
    stream = _text_stream(text_roots)
    total = 0
    for i in range(count):
        path = os.path.join(folder, "small-%03d.zip" % (i + 1))
        with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
            for m in range(rng.randint(3, 8)):
                if m == 0:
                    data = rng.randbytes(rng.randint(256, 4096))
                else:
                    data = next(stream)[: rng.randint(512, 16384)]
                z.writestr("part-%d/member-%d.txt" % (m % 2, m), data)
        total += os.path.getsize(path)
    return {"files": count, "zip_bytes": total}


def make_small_files_zip(target, files, text_roots, folders=100):
    """files of 16 bytes to 4 KiB dealt in turn over `folders` folders (two levels), one in
    four seeded noise and the rest system text, as one Deflate ZIP."""
    rng = random.Random(10000)
    stream = _text_stream(text_roots)
    total = 0
    with zipfile.ZipFile(target + ".part", "w", zipfile.ZIP_DEFLATED) as z:
        for i in range(files):
            size = rng.randint(16, 4096)
            data = rng.randbytes(size) if i % 4 == 0 else b""
            while len(data) < 16:
                data = next(stream)[:size]
            leaf = i % folders
            entry = zipfile.ZipInfo("d%02d/e%02d/file-%05d.txt" % (leaf // 10, leaf % 10, i),
                                    (2024, 6, 1, 12, 0, 0))
            # A regular file's mode: without the type bits the listing shows no file type.
            entry.external_attr = (stat.S_IFREG | 0o644) << 16
            z.writestr(entry, data, zipfile.ZIP_DEFLATED)
            total += len(data)
    os.replace(target + ".part", target)
    return {"files": files, "folders": min(files, folders), "unpacked_bytes": total,
            "zip_bytes": os.path.getsize(target)}


def with_comment(source, target, comment):
    """A copy of a ZIP without a comment, given this one in its end record."""
    with open(source, "rb") as f:
        data = f.read()
    if data[-22:-18] != b"PK\x05\x06" or data[-2:] != b"\0\0":
        raise ValueError("%s does not end in an end record without a comment" % source)
    with open(target, "wb") as f:
        f.write(data[:-2] + len(comment).to_bytes(2, "little") + comment)


def many_files_name(files, size):
    return "many-%s-%d.zip" % ("empty" if size == 0 else "%db" % size, files)


def make_many_files_zip(target, files, size, per_folder=100):
    """files of `size` bytes each (each its own text, so their CRCs differ; none when empty),
    per_folder in each leaf folder three deep, as one Deflate ZIP with no folder entries."""
    with zipfile.ZipFile(target + ".part", "w", zipfile.ZIP_DEFLATED) as z:
        for i in range(files):
            leaf = i // per_folder
            name = "d%02d/e%02d/f%02d/file-%07d.bin" % (leaf // 100, (leaf // 10) % 10, leaf % 10, i)
            entry = zipfile.ZipInfo(name, (2024, 6, 1, 12, 0, 0))
            entry.external_attr = (stat.S_IFREG | 0o644) << 16
            z.writestr(entry, (b"%07d " % i * (size // 8 + 1))[:size], zipfile.ZIP_DEFLATED)
    os.replace(target + ".part", target)
    return {"files": files, "size": size, "folders": (files + per_folder - 1) // per_folder,
            "zip_bytes": os.path.getsize(target)}


def make_clear_tree(folder, files, per_folder=100, fan_out=10):
    """files small files, per_folder in each leaf, leaves nested fan_out wide, three deep."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    payload = b"pomu clear tree\n" * 8
    made, leaf = 0, 0
    while made < files:
        a, b, c = leaf // (fan_out * fan_out), (leaf // fan_out) % fan_out, leaf % fan_out
        leaf_dir = os.path.join(folder, "d%02d" % a, "e%02d" % b, "f%02d" % c)
        os.makedirs(leaf_dir)
        for i in range(min(per_folder, files - made)):
            fd = os.open(os.path.join(leaf_dir, "file-%03d.txt" % i),
                         os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
            os.write(fd, payload[: 16 + (i % 100)])
            os.close(fd)
            made += 1
        leaf += 1
    return {"files": made, "folders": leaf}


def prepare(inputs_dir, archiver, sizes):
    """Makes what is missing or was made with other sizes; returns each input's description."""
    os.makedirs(inputs_dir, exist_ok=True)
    stamp_path = os.path.join(inputs_dir, "inputs.json")
    try:
        with open(stamp_path) as f:
            stamp = json.load(f)
    except (OSError, ValueError):
        stamp = {}
    made_with = stamp.get("sizes", {})
    stamp["sizes"] = sizes
    roots = ["/usr/include", "/usr/share/doc"]
    text_roots = ["/usr/include"]
    tree_zip = os.path.join(inputs_dir, "source-tree.zip")
    mixed_zip = os.path.join(inputs_dir, "mixed-data.zip")
    small_zip = os.path.join(inputs_dir, "small-files.zip")
    batch = os.path.join(inputs_dir, "batch")

    def missing(name, size, path):
        # Only an input whose own size changed is made again.
        return name not in stamp or made_with.get(size) != sizes[size] or not os.path.exists(path)

    if missing("tree", "tree_bytes", tree_zip):
        stamp["tree"] = make_tree_zip(archiver, tree_zip, roots, sizes["tree_bytes"])
    if missing("mixed", "mixed_bytes", mixed_zip):
        stamp["mixed"] = make_mixed_zip(archiver, mixed_zip, sizes["mixed_bytes"], text_roots)
    if missing("small", "small_files", small_zip):
        stamp["small"] = make_small_files_zip(small_zip, sizes["small_files"], text_roots)
    if missing("batch", "batch_count", batch):
        stamp["batch"] = make_batch(batch, sizes["batch_count"], text_roots)
    many = {}
    made_many = stamp.setdefault("many", {})
    for files in sizes["many_files"]:
        for size in (100, 0):
            name = many_files_name(files, size)
            path = os.path.join(inputs_dir, name)
            if name not in made_many or not os.path.exists(path):
                made_many[name] = make_many_files_zip(path, files, size)
            many[(files, size)] = path
    with open(stamp_path, "w") as f:
        json.dump(stamp, f, indent=1)
    return {"tree_zip": tree_zip, "mixed_zip": mixed_zip, "small_zip": small_zip, "batch": batch,
            "many": many, "stamp": stamp}
