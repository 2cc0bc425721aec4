/*
 * ambrel: the state of the machine's battery as one JSON text per call.
 *
 * What a caller may rely on:
 *
 * - Every function returns a pointer into the library's own static storage,
 *   never NULL. Never free it, with free() or otherwise. Passing it to
 *   ambrel_free_string() is allowed and does nothing.
 * - The address each function returns is the same on every call for as long
 *   as the library stays loaded. The texts of ambrel_status() and
 *   ambrel_last_error() stay valid and unchanged until the next call of
 *   ambrel_status() begins; the text of ambrel_power() until the next call of
 *   ambrel_power() begins. Each call overwrites its own buffer in place and
 *   leaves the other function's alone. Copy a text if you want to keep it.
 * - Every text is NUL-terminated, at most 16383 bytes long, and is JSON
 *   (ambrel_status, ambrel_power) or a plain message (ambrel_last_error).
 * - Threads: the library takes no locks. Calls of ambrel_status() and
 *   ambrel_power() must not overlap each other (either with either), nor any
 *   read of a returned text. Serialise them all with one lock of your own,
 *   and copy the text inside it.
 * - Every call asks the platform afresh; nothing is cached.
 * - Failures never show as NULL or as an error code: every outcome is told in
 *   the JSON text. Take a battery's figures as the platform's best estimate,
 *   not as absolute truth.
 */
#ifndef AMBREL_H
#define AMBREL_H

#if defined(_WIN32)
#  if defined(AMBREL_BUILDING_LIBRARY)
#    define AMBREL_API __declspec(dllexport)
#  else
#    define AMBREL_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define AMBREL_API __attribute__((visibility("default")))
#else
#  define AMBREL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Asks the platform afresh for the battery's state and returns it as one
 * JSON object, for example
 *   {"present":true,"percent":87,"charging":false,"health_pct":84.0,...}
 * or one of the fixed answers
 *   {"present": false}                                    no battery
 *   {"present": true, "percent": null, "charging": null}  battery, nothing known
 *   {"present":false,"percent":null}                      out of memory
 *   {}                                                    the text could not be written
 * The README documents every member.
 */
AMBREL_API const char *ambrel_status(void);

/*
 * Asks the platform afresh for the whole power picture and returns it as one
 * compact JSON object: whether the machine is on mains, the state, charge,
 * energy, rate and time left over all batteries, and one object per system
 * battery (at most 16) with its readings and identity, for example
 *   {"ac_online":false,"state":"discharging","percent":87,...,"batteries":[{"id":"BAT0",...}]}
 * Every member is always present, in a fixed order; a value the platform does
 * not give is null. A battery whose device cannot be opened has its system
 * message in "error". The answer is {} when memory runs out. It never touches
 * the texts of ambrel_status() or ambrel_last_error(). The README documents
 * every member.
 */
AMBREL_API const char *ambrel_power(void);

/*
 * Does nothing. It exists so that hosts that release every text they are
 * given have something safe to call; any pointer, NULL included, may be passed:
 * the texts of all three other functions among them.
 */
AMBREL_API void ambrel_free_string(const char *text);

/*
 * The system's message for the battery device error of the latest
 * ambrel_status() call, when that call answered
 * {"present": true, "percent": null, "charging": null} because the device
 * could not be opened; an empty text after every other call and before the
 * first one.
 */
AMBREL_API const char *ambrel_last_error(void);

#ifdef __cplusplus
}
#endif

#endif /* AMBREL_H */
