// The public header compiles on its own: nothing before it, nothing else.
#include <velkconf/velkconf.h>

const char* ConsumerNamespace() { return VELKCONF_POLICY_NAMESPACE; }
