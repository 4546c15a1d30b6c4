// PAPPL forgets finished jobs in its main loop, at most once a minute (those
// that finished over a minute before, beyond the printer's hundred kept for
// clients to look up). After a busy spell that is thousands of jobs at once,
// and the memory they held would stay the process's, scattered among what is
// still used; the program gives it back to the system there.
#include <dlfcn.h>
#include <malloc.h>
#include <pappl/pappl.h>

extern "C" void papplSystemCleanJobs(pappl_system_t* system) {
    using Clean = void (*)(pappl_system_t*);
    static const auto library = reinterpret_cast<Clean>(dlsym(RTLD_NEXT, "papplSystemCleanJobs"));
    library(system);
    malloc_trim(0);
}
