// Listing devices asks avahi for printers on the network. Without a running
// avahi-daemon PAPPL still asks, with no client, and avahi's assertion ends
// the whole process: the server, or the devices sub-command. The program
// defines avahi_service_browser_new itself, so that a browser without a
// client is simply not made (which PAPPL takes as no network printers), and
// passes every other call to avahi's own.
#include <avahi-client/lookup.h>
#include <dlfcn.h>

extern "C" AvahiServiceBrowser*
avahi_service_browser_new(AvahiClient* client, AvahiIfIndex interface, AvahiProtocol protocol,
                          const char* type, const char* domain, AvahiLookupFlags flags,
                          AvahiServiceBrowserCallback callback, void* userdata) {
    using Create =
        AvahiServiceBrowser* (*)(AvahiClient*, AvahiIfIndex, AvahiProtocol, const char*,
                                 const char*, AvahiLookupFlags, AvahiServiceBrowserCallback, void*);
    if (!client)
        return nullptr;
    static const auto create =
        reinterpret_cast<Create>(dlsym(RTLD_NEXT, "avahi_service_browser_new"));
    return create ? create(client, interface, protocol, type, domain, flags, callback, userdata)
                  : nullptr;
}
