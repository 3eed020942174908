// A slot of thread-local storage allocated at run time: each thread sees its own pointer.
#pragma once

namespace platform {

// Owns one slot; the destructor gives the slot back to the system. Each thread's value starts as
// nullptr. The slot never owns what its values point to.
class TThreadLocalSlot {
public:
    // Allocates a slot; throws std::system_error when the system has none left.
    TThreadLocalSlot();
    TThreadLocalSlot(TThreadLocalSlot&& other) noexcept;
    TThreadLocalSlot& operator=(TThreadLocalSlot&&) = delete;
    TThreadLocalSlot(const TThreadLocalSlot&) = delete;
    TThreadLocalSlot& operator=(const TThreadLocalSlot&) = delete;
    ~TThreadLocalSlot();

    // The calling thread's value.
    void* Get() const;
    void Set(void* value) const;

private:
    unsigned long Key_ = 0;
    bool Owned_ = false;
};

} // namespace platform
