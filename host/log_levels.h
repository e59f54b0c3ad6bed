// The levels the library logs at through the host's logger.
#ifndef VELKCONF_HOST_LOG_LEVELS_H_
#define VELKCONF_HOST_LOG_LEVELS_H_

const int kTrace = 12;
const int kFailure = 1;

#endif  // VELKCONF_HOST_LOG_LEVELS_H_
