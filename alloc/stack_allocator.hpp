#pragma once
// A pool allocator for the "stack" runs: one block is reserved up front and handed out from its
// top downwards; memory is taken back only in the reverse order of taking it. Allocation and
// release are one subtraction or addition and one comparison. Copies (also copies rebound to
// another element type) share the pool through a reference count; the last copy frees it.
//
// Objects of different types share a pool soundly as long as every request takes a multiple of
// 8 bytes: the funnel's element, node and slot arrays always do; arrays of items whose size is
// not a multiple of 8 (int, record) are rounded up to the next multiple.
//
// The pool is not thread-safe: a pool and all its copies belong to one thread.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>

// The header at the start of a pool's block; the usable space follows it.
struct stack_allocator_head {
    // Every pool failure: the pool could not be reserved, the allocator has no pool, or the pool
    // has no room left for a request.
    class stack_bad_alloc : public std::bad_alloc {
    public:
        explicit stack_bad_alloc(const char* message) noexcept : message_(message) {}
        const char* what() const noexcept override { return message_; }

    private:
        const char* message_;
    };

    std::int32_t ref_count;
    bool owns_block;  // false for a pool laid in memory its caller owns (a mapped file)
    char* top;    // lowest byte handed out so far; the next allocation ends here
    char* limit;  // lowest address an allocation may reach

    // Gives the whole block back. Kept out of line: it runs once per pool, and when inlined into
    // the reference counting of many copies g++ 12 mistakes later copies' counts for uses of
    // freed memory.
    [[gnu::noinline]] static void free_block(stack_allocator_head* head) noexcept
    {
        bool const owned = head->owns_block;
        head->~stack_allocator_head();
        if (owned) ::operator delete[](static_cast<void*>(head));
    }
};

namespace stack_allocator_detail {

// Handed-out addresses keep the 8-byte alignment of the block's end; every size the funnel
// allocates (16, 64 and 80 bytes per object) is a multiple of this.
constexpr std::size_t pool_alignment = 8;

constexpr char const* no_pool_message =
    "stack_allocator: allocating from deallocated allocator (don't dynamically allocate allocators)";
constexpr char const* out_of_space_message = "stack_allocator: ran out of pool space";
constexpr char const* no_block_message = "stack_allocator: chould not allocate pool";

}  // namespace stack_allocator_detail

template <typename T>
class stack_allocator {
    static_assert(alignof(T) <= stack_allocator_detail::pool_alignment,
                  "the pool only keeps 8-byte alignment");

public:
    typedef T value_type;
    typedef T* pointer;
    typedef T const* const_pointer;
    typedef T& reference;
    typedef T const& const_reference;
    typedef std::size_t size_type;
    typedef std::ptrdiff_t difference_type;

    template <typename U>
    struct rebind {
        typedef stack_allocator<U> other;
    };

    // A pool of n usable bytes; n = 0 makes an allocator without a pool.
    explicit stack_allocator(unsigned long n) : head(nullptr)
    {
        if (n == 0) {
            return;
        }
        std::size_t const header = sizeof(stack_allocator_head);
        std::size_t const slack = stack_allocator_detail::pool_alignment - 1;
        if (n > std::numeric_limits<std::size_t>::max() - header - slack) {
            throw stack_allocator_head::stack_bad_alloc(stack_allocator_detail::no_block_message);
        }
        std::size_t const rounded = (n + slack) & ~slack;
        void* block = ::operator new[](header + rounded, std::nothrow);
        if (block == nullptr) {
            throw stack_allocator_head::stack_bad_alloc(stack_allocator_detail::no_block_message);
        }
        head = ::new (block) stack_allocator_head;
        head->ref_count = 1;
        head->owns_block = true;
        head->top = static_cast<char*>(block) + header + rounded;
        head->limit = head->top - n;
    }

    // A pool laid in block_bytes of memory the caller owns and keeps until the last copy is gone
    // (a mapped file); the allocator never frees it. block must keep the pool's alignment.
    stack_allocator(void* block, std::size_t block_bytes) : head(nullptr)
    {
        std::size_t const header = sizeof(stack_allocator_head);
        std::size_t const usable = block_bytes > header ? (block_bytes - header) & ~(stack_allocator_detail::pool_alignment - 1) : 0;
        if (usable == 0) {
            throw stack_allocator_head::stack_bad_alloc(stack_allocator_detail::no_block_message);
        }
        head = ::new (block) stack_allocator_head;
        head->ref_count = 1;
        head->owns_block = false;
        head->top = static_cast<char*>(block) + header + usable;
        head->limit = static_cast<char*>(block) + header;
    }

    // The bytes of a block that gives a pool of n usable bytes.
    static std::size_t block_bytes_for(std::size_t n)
    {
        std::size_t const slack = stack_allocator_detail::pool_alignment - 1;
        return sizeof(stack_allocator_head) + ((n + slack) & ~slack);
    }

    stack_allocator(stack_allocator const& other) noexcept : head(other.head) { share(); }

    template <typename U>
    stack_allocator(stack_allocator<U> const& other) noexcept : head(other.head)
    {
        share();
    }

    stack_allocator& operator=(stack_allocator const& other) noexcept
    {
        if (head != other.head) {
            release();
            head = other.head;
            share();
        }
        return *this;
    }

    ~stack_allocator() { release(); }

    T* allocate(std::size_t n)
    {
        if (head == nullptr) {
            throw stack_allocator_head::stack_bad_alloc(stack_allocator_detail::no_pool_message);
        }
        // Compared as a distance rather than by moving top first, so that a huge request can
        // neither wrap the address around nor point outside the block.
        std::size_t const room = static_cast<std::size_t>(head->top - head->limit);
        if (n > room / sizeof(T) || bytes_of(n) > room) {
            throw stack_allocator_head::stack_bad_alloc(stack_allocator_detail::out_of_space_message);
        }
        head->top -= bytes_of(n);
        return reinterpret_cast<T*>(head->top);
    }

    // Blocks must come back in the reverse order of their allocation. A block that is not the
    // most recent one is left where it is rather than moving the boundary into live memory: its
    // space stays taken until the pool is freed (this is what a growing standard container does).
    void deallocate(T* p, std::size_t n) noexcept
    {
        if (p == nullptr || head == nullptr || reinterpret_cast<char*>(p) != head->top) {
            return;
        }
        head->top += bytes_of(n);
    }

    // The shared pool, or null for an allocator without one.
    stack_allocator_head* pool() const noexcept { return head; }

    template <typename U>
    bool operator==(stack_allocator<U> const& other) const noexcept
    {
        return head == other.head;
    }

    template <typename U>
    bool operator!=(stack_allocator<U> const& other) const noexcept
    {
        return head != other.head;
    }

private:
    template <typename U>
    friend class stack_allocator;

    // The pool bytes of n objects: their size, rounded up to keep the pool's alignment.
    static std::size_t bytes_of(std::size_t n) noexcept
    {
        if constexpr (sizeof(T) % stack_allocator_detail::pool_alignment == 0) {
            return n * sizeof(T);
        } else {
            constexpr std::size_t slack = stack_allocator_detail::pool_alignment - 1;
            return (n * sizeof(T) + slack) & ~slack;
        }
    }

    void share() noexcept
    {
        if (head != nullptr) {
            ++head->ref_count;
        }
    }

    void release() noexcept
    {
        if (head != nullptr && --head->ref_count == 0) {
            stack_allocator_head::free_block(head);
        }
        head = nullptr;
    }

    stack_allocator_head* head;
};
