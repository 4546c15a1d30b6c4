// The printer application's system: where it listens and keeps its state,
// who may change settings, and the formats it prints.
#pragma once

#include <pappl/pappl.h>

// PAPPL's system callback for the "server" sub-command. Server options
// (-o NAME=VALUE): server-port, spool-directory, log-file, log-level,
// listen-hostname (default: loopback only), auth-service, admin-group.
pappl_system_t* createSystem(int optionCount, cups_option_t* options, void* context);
