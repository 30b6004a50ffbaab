// Presses keys in KWin itself, through its fake input protocol (org_kde_kwin_fake_input, version 4 for
// keyboard_key), so the compositor's own shortcuts see them as they see a keyboard's.
//
//   kestrel-kde-keys [--hold MS] [--gap MS] [--time] CHORD...
//
// Each CHORD is key names joined by '+' (ctrl+space, shift+equal, Return, 2); its keys go down in order,
// stay down for --hold milliseconds (default 20) and come up in reverse order; --gap milliseconds (default
// 30) pass between chords. With --time, the wall-clock time (CLOCK_REALTIME, in nanoseconds, comparable
// with the milliseconds of a KWin script's Date.now()) just before the first chord's presses were sent is
// printed on stdout. Exits 0 when KWin took every event; 2 when it offers no fake input to this program
// (KWin hands it only to a program whose path a desktop entry with
// X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input names in Exec=), or on a bad argument.
#define _POSIX_C_SOURCE 200809L

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <time.h>
#include <wayland-client.h>

#include "fake-input-client-protocol.h"

enum { maxChordKeys = 4 };

struct Key {
    const char* name;
    uint32_t code;    // evdev key code (linux/input-event-codes.h)
    uint32_t shifted; // 1: the name stands for Shift with the code (plus is Shift+equal)
};

static const struct Key keys[] = {
    {"esc", 1, 0},    {"escape", 1, 0}, {"1", 2, 0},      {"2", 3, 0},          {"3", 4, 0},     {"4", 5, 0},
    {"5", 6, 0},      {"6", 7, 0},      {"7", 8, 0},      {"8", 9, 0},          {"9", 10, 0},    {"0", 11, 0},
    {"minus", 12, 0}, {"equal", 13, 0}, {"plus", 13, 1},  {"backspace", 14, 0}, {"tab", 15, 0},  {"q", 16, 0},
    {"w", 17, 0},     {"e", 18, 0},     {"r", 19, 0},     {"t", 20, 0},         {"y", 21, 0},    {"u", 22, 0},
    {"i", 23, 0},     {"o", 24, 0},     {"p", 25, 0},     {"return", 28, 0},    {"ctrl", 29, 0}, {"a", 30, 0},
    {"s", 31, 0},     {"d", 32, 0},     {"f", 33, 0},     {"g", 34, 0},         {"h", 35, 0},    {"j", 36, 0},
    {"k", 37, 0},     {"l", 38, 0},     {"shift", 42, 0}, {"z", 44, 0},         {"x", 45, 0},    {"c", 46, 0},
    {"v", 47, 0},     {"b", 48, 0},     {"n", 49, 0},     {"m", 50, 0},         {"alt", 56, 0},  {"space", 57, 0},
    {"meta", 125, 0}, {"up", 103, 0},   {"down", 108, 0},
};

enum { shiftCode = 42 };

struct Globals {
    struct org_kde_kwin_fake_input* fakeInput;
    uint32_t version;
};

static void handleGlobal(void* data, struct wl_registry* registry, uint32_t name, const char* interface,
                         uint32_t version)
{
    struct Globals* globals = data;
    if (strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4) {
        globals->version = 4;
        globals->fakeInput = wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4);
    }
}

static void handleGlobalRemove(void* data, struct wl_registry* registry, uint32_t name)
{
    (void)data;
    (void)registry;
    (void)name;
}

static const struct wl_registry_listener registryListener = {handleGlobal, handleGlobalRemove};

static void pause_ms(long ms)
{
    struct timespec span = {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&span, &span) != 0) { }
}

static long long now_ns(void)
{
    struct timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

/// Parses CHORD into evdev codes (Shift first where a name needs it); returns how many, 0 on error.
static int parseChord(const char* chord, uint32_t codes[maxChordKeys])
{
    char copy[128];
    int count = 0;
    if (strlen(chord) >= sizeof copy)
        return 0;
    strcpy(copy, chord);
    for (char *saved = NULL, *name = strtok_r(copy, "+", &saved); name; name = strtok_r(NULL, "+", &saved)) {
        size_t i = 0;
        while (i < sizeof keys / sizeof keys[0] && strcasecmp(keys[i].name, name) != 0)
            ++i;
        if (i == sizeof keys / sizeof keys[0] || count + 1 + (int)keys[i].shifted > maxChordKeys)
            return 0;
        if (keys[i].shifted)
            codes[count++] = shiftCode;
        codes[count++] = keys[i].code;
    }
    return count;
}

static int roundtrip(struct wl_display* display)
{
    if (wl_display_roundtrip(display) < 0) {
        fprintf(stderr, "kestrel-kde-keys: the compositor closed the connection\n");
        return 0;
    }
    return 1;
}

int main(int argc, char** argv)
{
    long hold = 20, gap = 30;
    int printTime = 0, first = 1;
    while (first < argc && strncmp(argv[first], "--", 2) == 0) {
        if (strcmp(argv[first], "--time") == 0) {
            printTime = 1;
            first += 1;
        } else if (first + 1 < argc && strcmp(argv[first], "--hold") == 0) {
            hold = atol(argv[first + 1]);
            first += 2;
        } else if (first + 1 < argc && strcmp(argv[first], "--gap") == 0) {
            gap = atol(argv[first + 1]);
            first += 2;
        } else {
            break;
        }
    }
    if (first == argc) {
        fprintf(stderr, "usage: kestrel-kde-keys [--hold MS] [--gap MS] [--time] CHORD...\n");
        return 2;
    }
    uint32_t chords[64][maxChordKeys];
    int sizes[64];
    int chordCount = argc - first;
    if (chordCount > 64) {
        fprintf(stderr, "kestrel-kde-keys: at most 64 chords\n");
        return 2;
    }
    for (int i = 0; i < chordCount; ++i) {
        sizes[i] = parseChord(argv[first + i], chords[i]);
        if (sizes[i] == 0) {
            fprintf(stderr, "kestrel-kde-keys: unknown chord '%s'\n", argv[first + i]);
            return 2;
        }
    }

    struct wl_display* display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "kestrel-kde-keys: cannot connect to the Wayland display\n");
        return 2;
    }
    struct Globals globals = {NULL, 0};
    struct wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &globals);
    if (!roundtrip(display))
        return 2;
    if (!globals.fakeInput) {
        fprintf(stderr, "kestrel-kde-keys: the compositor offers no org_kde_kwin_fake_input version 4 to this "
                        "program\n");
        return 2;
    }
    org_kde_kwin_fake_input_authenticate(globals.fakeInput, "kestrel-kde-keys", "keys for Kestrelpoint's tests");
    if (!roundtrip(display))
        return 2;

    for (int i = 0; i < chordCount; ++i) {
        if (i > 0)
            pause_ms(gap);
        const long long pressed = now_ns();
        for (int k = 0; k < sizes[i]; ++k)
            org_kde_kwin_fake_input_keyboard_key(globals.fakeInput, chords[i][k], WL_KEYBOARD_KEY_STATE_PRESSED);
        if (!roundtrip(display))
            return 1;
        if (printTime && i == 0)
            printf("%lld\n", pressed);
        pause_ms(hold);
        for (int k = sizes[i] - 1; k >= 0; --k)
            org_kde_kwin_fake_input_keyboard_key(globals.fakeInput, chords[i][k], WL_KEYBOARD_KEY_STATE_RELEASED);
        if (!roundtrip(display))
            return 1;
    }
    org_kde_kwin_fake_input_destroy(globals.fakeInput);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return 0;
}
