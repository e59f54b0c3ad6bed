/* libvelkconf: turns a sensor's event-logging policy into a live rsyslog
 * configuration.  This is the one header a host includes.
 *
 * Conventions:
 *
 * (1) Call order.  Initialize() once with the host's four service objects
 *     (again to replace them).  A policy update is PreProcess(), Process(),
 *     PostProcess(), Validate(), Commit().  The library keeps no state that
 *     enforces this order: each entry point does its work whatever came
 *     before.  Uninitialize() only logs.  Calls are made one at a time, from
 *     one thread at a time; the library takes no locks.
 *
 * (2) The XML parser library (Xerces-C) is initialised and terminated by the
 *     host process, before the first Process() and after the last.
 *
 * (3) Result codes are long; 0 means success.  Process() returns non-zero
 *     when the policy cannot be read or the new configuration cannot be
 *     written; Commit() returns 1 when the new configuration could not be
 *     put in place.  The other entry points always return 0.
 *
 * (4) The reason for the last failure is one text held by the library.
 *     PreProcess() and Process() clear it; a failing Process() or Commit()
 *     replaces it.  GetErrorMessage() hands out a fresh NUL-terminated copy
 *     (possibly empty) that the host owns and must give back, once, to
 *     ReleaseErrorMessage(); never free() or delete it.
 *
 * (5) Null pointers: any of Initialize()'s four objects may be null (the
 *     matching services then answer neutrally).  Process() accepts a null
 *     ns, and a null buffer or a size of 0 (the policy is then read from
 *     the sensor's policy repository).  ReleaseErrorMessage(NULL) does
 *     nothing.  PostProcess()'s result and GetErrorMessage()'s message must
 *     be writable.
 *
 * (6) The host owns its service objects and must keep them alive while the
 *     library is loaded; the library never frees them.
 *
 * (7) Entry points do not catch exceptions the C++ runtime raises on their
 *     behalf (std::bad_alloc when memory runs out); every failure of the
 *     policy or the files is reported through the result and the message.
 *
 * (8) Configuration parameters the library asks the host for, through
 *     IConfigParameters::GetValue:
 *     RepositoryRoot      where the policy repository lies.
 *     SyslogForwardQueue  how each forward to a remote server is queued:
 *                         "disk" (the default, also when the host does not
 *                         know the parameter or answers an empty text): a
 *                         queue of its own that spills to /var/zev/spool,
 *                         survives a restart and is retried every second;
 *                         "memory": the same queue in memory only;
 *                         "none": the classic selector lines, unchanged.
 *                         Letter case does not matter.  Any other value
 *                         fails Process() with "Error: Invalid value
 *                         'VALUE' of the configuration parameter
 *                         SyslogForwardQueue (expected disk, memory or
 *                         none) " and touches no file.
 *     SyslogTlsCaFile     for servers whose proto is "tls": the CA file
 *                         that must have signed the collector's
 *                         certificate (whose name must be the server's
 *                         text).  Required once an enabled server with an
 *                         event flag uses tls.
 *     SyslogTlsCertFile,  the sensor's own certificate and key, for
 *     SyslogTlsKeyFile    collectors that ask for one: both or neither.
 *                         Process() fails, touching no file, when a TLS
 *                         file is needed and not set, cannot be read, or
 *                         holds a control character, a backslash or a
 *                         double quote; the message names the parameter
 *                         and the reason, e.g. "Error: Unable to read file
 *                         PATH named by the configuration parameter
 *                         SyslogTlsCaFile: No such file or directory ".
 *
 * Files: Process() reads /etc/rsyslog.conf.in and writes
 * /etc/rsyslog.conf.new, and nothing else; Commit() puts it in place as
 * /etc/rsyslog.conf, creates /var/zev/spool (mode 0700) when it is missing,
 * and runs "service syslog restart".
 */
#ifndef VELKCONF_VELKCONF_H_
#define VELKCONF_VELKCONF_H_

#include "velkconf/convert_utf.h"
#include "velkconf/host_glue.h"
#include "velkconf/host_interfaces.h"

extern "C" {

long Initialize(const ILogger* logger, const ISensorPolicyInfo* policyInfo,
                const IConfigParameters* configParameters,
                const ISensorCapabilities* capabilities);
long PreProcess(void);
long Process(const char* ns, const unsigned char* buffer, unsigned int size);
long PostProcess(long input, long* result);
long Validate(void);
long Commit(void);
void Uninitialize(void);
long GetErrorMessage(char** message);
void ReleaseErrorMessage(char* message);

}  // extern "C"

/* Identification strings in the SCCS what(1) form "@(#)!WORD!value!WORD!". */
extern const char* s___name;
extern const char* s___version;
extern const char* s___special;

/* The policy namespace this plug-in reads. */
#define VELKCONF_POLICY_NAMESPACE \
  "http://policy.velk.example/vorn/Korvanta/velk"

#endif /* VELKCONF_VELKCONF_H_ */
