#include "TPriorityMutex.h"

#include <cerrno>
#include <system_error>

TPriorityMutex::TPriorityMutex()
{
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    // Where the system has no priority inheritance the mutex is an ordinary one.
    if (pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_INHERIT) != 0 || pthread_mutex_init(&mutex_, &attr) != 0) {
        pthread_mutexattr_destroy(&attr);
        if (const int error = pthread_mutex_init(&mutex_, nullptr); error != 0) {
            throw std::system_error(error, std::generic_category(), "pthread_mutex_init");
        }
        return;
    }
    pthread_mutexattr_destroy(&attr);
}

TPriorityMutex::~TPriorityMutex()
{
    pthread_mutex_destroy(&mutex_);
}

void TPriorityMutex::lock()
{
    if (const int error = pthread_mutex_lock(&mutex_); error != 0) {
        throw std::system_error(error, std::generic_category(), "pthread_mutex_lock");
    }
}

void TPriorityMutex::unlock()
{
    pthread_mutex_unlock(&mutex_);
}

bool TPriorityMutex::try_lock()
{
    return pthread_mutex_trylock(&mutex_) == 0;
}
