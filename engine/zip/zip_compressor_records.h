// The compressor's records of files and blocks, shared by the compressing workers and the spool source.
#pragma once

#include "engine/zip/zip_compressor.h"

#include <atomic>
#include <ctime>
#include <memory>
#include <vector>

// One block of a file deflated on its own: its compressed data and what the join checks.
struct TParallelCompressor::TBlock {
    TSpooled Data;                   // its extents and compressed size
    std::int64_t Size = 0;           // bytes it read
    std::uint32_t Crc = 0;           // of what it read
    std::uint32_t DictionaryCrc = 0; // of the 32 KiB it was primed with, as it read them
    std::uint32_t TailCrc = 0;       // of its last 32 KiB, as it read them
    bool Changed = false;            // the file was not as examined: the blocks would not join
    bool Cancelled = false;
    int Reason = 0;
    int Error = 0;
    std::time_t Modified = 0;
    std::uint16_t Mode = 0644;
};

// What few files need: the blocks of a large file, compressed data in more than one extent, the reason a
// file failed.
struct TParallelCompressor::TFileExtra {
    std::uint32_t BlockCount = 1;
    std::atomic<std::uint32_t> BlocksLeft{0};
    std::unique_ptr<TBlock[]> Blocks;
    std::vector<TExtent> Extents;
    int Reason = 0;
    int Error = 0;
};

// One record per file, kept small, since a run may hold a million of them until the archive is written:
// the progress counters become the sizes once the file is done.
struct TParallelCompressor::TFile {
    std::atomic<TCompressState> State{TCompressState::Waiting};
    bool Released = false; // libzip has read its data, which the spool gave up
    std::uint16_t Mode = 0644;
    std::uint32_t Crc = 0;
    std::atomic<std::int64_t> BytesRead{0}; // once done, the size
    std::atomic<std::int64_t> BytesOut{0};  // once done, the compressed size
    std::int64_t Offset = 0;                // of the compressed data, when it lies in one extent
    std::time_t Modified = 0;
    std::unique_ptr<TFileExtra> Extra;

    std::uint32_t BlockCount() const { return Extra ? Extra->BlockCount : 1; }
    TFileExtra& MadeExtra() {
        if (!Extra)
            Extra = std::make_unique<TFileExtra>();
        return *Extra;
    }
};

// Hands one finished file's compressed data to libzip. Consumed parts of the spool are released as libzip
// goes, so the spool and the new archive together take about the room of the archive alone; a source whose
// data has been released refuses to be read a second time rather than hand out zeros. Each entry's source
// carries only its file's number: libzip reads one entry at a time, so the reading state is the
// compressor's, and a million entries cost a million small records, not a million readers.
struct TParallelCompressor::TSource {
    TParallelCompressor* Owner;
    std::size_t Index;

    static zip_int64_t Callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
        const TSource& source = *static_cast<TSource*>(state);
        return source.Owner->HandleSource(source.Index, data, length, command);
    }
};
