#include <pthread.h>

#include "platform/Threads.h"

namespace nelvo::platform {

void SetDefaultThreadStackSize(std::size_t bytes) {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) return;
    if (pthread_attr_setstacksize(&attributes, bytes) == 0)
        pthread_setattr_default_np(&attributes);
    pthread_attr_destroy(&attributes);
}

}  // namespace nelvo::platform
