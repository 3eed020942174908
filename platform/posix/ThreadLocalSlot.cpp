#include "platform/ThreadLocalSlot.h"

#include <pthread.h>
#include <system_error>

namespace platform {

static_assert(sizeof(pthread_key_t) <= sizeof(unsigned long));

TThreadLocalSlot::TThreadLocalSlot() {
    pthread_key_t key{};
    if (const int error = pthread_key_create(&key, nullptr); error != 0) {
        throw std::system_error(error, std::system_category(), "pthread_key_create");
    }
    Key_ = key;
    Owned_ = true;
}

TThreadLocalSlot::TThreadLocalSlot(TThreadLocalSlot&& other) noexcept
    : Key_(other.Key_), Owned_(other.Owned_) {
    other.Owned_ = false;
}

TThreadLocalSlot::~TThreadLocalSlot() {
    if (Owned_) {
        pthread_key_delete(static_cast<pthread_key_t>(Key_));
    }
}

void* TThreadLocalSlot::Get() const {
    return pthread_getspecific(static_cast<pthread_key_t>(Key_));
}

void TThreadLocalSlot::Set(void* value) const {
    pthread_setspecific(static_cast<pthread_key_t>(Key_), value);
}

} // namespace platform
