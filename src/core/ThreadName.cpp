#include "core/ThreadName.h"

#include <pthread.h>

#include <cstring>
#include <string>

void NameThisThread(const char* name) {
  const std::string shortName(name, strnlen(name, 15));
  pthread_setname_np(pthread_self(), shortName.c_str());
}
