#pragma once
// The file datlow writes, kept whole whatever becomes of the run. The items are generated into a
// scratch file in the same folder that has no name (O_TMPFILE), so that not even SIGKILL leaves it
// behind; a new file is then linked into place under its name, which therefore holds a complete
// result or nothing, and fails if another run made the file meanwhile. An existing file keeps its
// length until the items are copied over its head at the end, and is locked for the whole run, so
// that two writers take turns. A run that fails or is interrupted during the copy gives an
// existing file back its old length; on SIGINT, SIGTERM or SIGHUP it says on standard error how
// many items it had copied. Where the file system makes no unnamed files the scratch file gets a
// short hidden name in the folder (for an existing file only until it is open).
//
// Failures throw auto_array::mapping_error with the reason. One object per process: it owns the
// handlers of those signals while it lives, and ignores SIGXFSZ meanwhile, so that a file size
// limit is an error of the call that meets it; it gives every one back as it found it.

#include <atomic>
#include <cstdint>
#include <string>

#include <sys/types.h>

namespace gen {

class output_file {
public:
    // Opens and locks the file name if it exists, waiting (with a note on standard error) while
    // another process holds it; a missing file is made at commit. Throws when name exists but
    // is no regular file that can be written.
    output_file(char const* name, unsigned long item_size);
    // Undoes an unfinished run and releases the lock.
    ~output_file();
    output_file(output_file const&) = delete;
    output_file& operator=(output_file const&) = delete;

    bool exists() const { return target >= 0; }
    // The whole items an existing file holds.
    unsigned long whole_items() const { return static_cast<unsigned long>(original_length) / item_size; }

    // Creates the scratch file for the items and returns its descriptor.
    int prepare();

    // Puts the count items of the scratch file, mapped at items, under the file's name. From
    // here on the signals above are held: the run is complete.
    void commit(void const* items, unsigned long count);

    // What the signal handler needs, in a form it may read at any moment.
    struct run_state {
        char const* name = nullptr;
        std::atomic<char const*> scratch{nullptr};  // the scratch file's name while it has one
        int target = -1;
        std::atomic<off_t> restore_length{-1};  // the length to give back, -1 for none
        std::atomic<std::uint64_t> copied{0};   // items copied into an existing file
    };

private:
    void copy_over(void const* items, unsigned long count);
    void link_into_place();

    std::string name;
    unsigned long item_size;
    int target = -1;  // the locked existing file, -1 for a new one
    off_t original_length = 0;
    std::string scratch_name;  // empty while the scratch file has no name
    int scratch = -1;
    run_state state;
};

}  // namespace gen
