// What libzip itself needs to write an archive of a tree's names: every file of the tree becomes an
// empty entry, through the cheapest source libzip offers (a callback with no state), and the archive is
// closed. Its peak memory is the floor under any compressed backup that writes its archive with libzip,
// since libzip keeps every entry's record, source and name until the archive is closed.
//   bench_libzip_entries TREE ARCHIVE
#include <zip.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

zip_int64_t EmptySource(void*, void* data, zip_uint64_t, zip_source_cmd_t command) {
    switch (command) {
    case ZIP_SOURCE_OPEN:
    case ZIP_SOURCE_READ:
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_FREE:
        return 0;
    case ZIP_SOURCE_STAT: {
        auto* stat = static_cast<zip_stat_t*>(data);
        zip_stat_init(stat);
        stat->size = 0;
        stat->valid |= ZIP_STAT_SIZE;
        return sizeof(*stat);
    }
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_FREE, ZIP_SOURCE_SUPPORTS, -1);
    default:
        return -1;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_libzip_entries TREE ARCHIVE\n");
        return 2;
    }
    int error = 0;
    zip_t* archive = zip_open(argv[2], ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive) {
        std::fprintf(stderr, "bench_libzip_entries: cannot create %s (libzip error %d)\n", argv[2], error);
        return 1;
    }
    const std::filesystem::path tree = argv[1];
    for (const auto& entry : std::filesystem::recursive_directory_iterator(tree)) {
        if (!entry.is_regular_file())
            continue;
        zip_source_t* source = zip_source_function(archive, EmptySource, nullptr);
        const std::string name = entry.path().lexically_relative(tree).string();
        if (!source || zip_file_add(archive, name.c_str(), source, 0) < 0) {
            zip_source_free(source);
            std::fprintf(stderr, "bench_libzip_entries: cannot add %s\n", name.c_str());
            zip_discard(archive);
            return 1;
        }
    }
    if (zip_close(archive) != 0) {
        std::fprintf(stderr, "bench_libzip_entries: %s\n", zip_strerror(archive));
        zip_discard(archive);
        return 1;
    }
    return 0;
}
