# A StrongARM (unicorn's SA-1110 model) with Brindle.dll for Windows CE loaded at a base other
# than its own, its relocations applied, and each import pointed at a stand-in written here:
# the dialog manager runs the DLL's own dialog procedure from its own template 129 and plays
# the player; the serial calls reach a pseudo-terminal, honouring the time-outs the DLL sets.
# What the DLL shows or does is recorded in `events`, one text per effect, in order.
#
# Stand-ins live at unmapped addresses: a call to one stops the emulator with a fetch fault,
# Python does the work and returns to the caller's lr. A stand-in that calls back into the DLL
# (the dialog manager) is a generator: it yields (address, arguments) and gets r0 back.

import inspect
import os
import select
import struct
import termios
import time

import pefile
from unicorn import UC_ARCH_ARM, UC_ERR_FETCH_UNMAPPED, UC_HOOK_BLOCK, UC_MODE_ARM, Uc, UcError
from unicorn import arm_const as arm

BASE = 0x00800000  # the DLL asks for 0x10000000
STACK, STACK_SIZE = 0x00100000, 0x40000
HEAP, HEAP_SIZE = 0x00200000, 0x10000
STUBS, RETURN, EXIT = 0xE0000000, 0xEFFF0000, 0xEFFE0000
PARENT, DIALOG, SHELL, PORT = 0x2000, 0x1000D, 0x5E11, 0x300
INVALID_HANDLE, MAXDWORD = 0xFFFFFFFF, 0xFFFFFFFF
WM_INITDIALOG, WM_COMMAND, EM_LIMITTEXT = 0x110, 0x111, 0xC5
IDOK, IDCANCEL, IDC_SEND, IDC_HANDLE = 1, 2, 1000, 1001
ARGS = [arm.UC_ARM_REG_R0, arm.UC_ARM_REG_R1, arm.UC_ARM_REG_R2, arm.UC_ARM_REG_R3]
STANDINS = {}


def standin(name, count):
    def register(function):
        STANDINS[name] = (count, function)
        return function
    return register


class Machine:
    def __init__(self, dll, port_path, player_handle):
        self.port_path, self.player_handle = port_path, player_handle
        self.events, self.pauses, self.timeouts, self.settings = [], [], [], None
        self.instructions, self.heap, self.fd, self.error = 0, HEAP, None, 0
        self.uc = Uc(UC_ARCH_ARM, UC_MODE_ARM)
        self.uc.ctl_set_cpu_model(arm.UC_CPU_ARM_SA1110)
        pe = pefile.PE(dll)
        self.preferred = pe.OPTIONAL_HEADER.ImageBase
        imports = [(entry.name.decode(), entry.address - self.preferred)
                   for library in pe.DIRECTORY_ENTRY_IMPORT for entry in library.imports]
        pe.relocate_image(BASE)
        image = pe.get_memory_mapped_image()
        self.size = (len(image) + 0xFFF) & ~0xFFF
        self.uc.mem_map(BASE, self.size)
        self.uc.mem_write(BASE, bytes(image))
        for start, size in ((STACK, STACK_SIZE), (HEAP, HEAP_SIZE)):
            self.uc.mem_map(start, size)
        # Instructions run in the DLL, counted by the blocks the emulator translates (4 bytes each).
        self.uc.hook_add(UC_HOOK_BLOCK, lambda _uc, _at, size, _data: self._count(size),
                         begin=BASE, end=BASE + self.size)
        self.stubs = {}
        for name, slot in imports:
            self.uc.mem_write(BASE + slot, struct.pack("<I", self._stub(name)))
        self.exports = {e.ordinal: BASE + e.address for e in pe.DIRECTORY_ENTRY_EXPORT.symbols}
        self.entry = BASE + pe.OPTIONAL_HEADER.AddressOfEntryPoint
        (dialog,) = [e for e in pe.DIRECTORY_ENTRY_RESOURCE.entries if e.id == 5]
        (template,) = [e for e in dialog.directory.entries if e.id == 129]
        self.template = BASE + template.directory.entries[0].data.struct.OffsetToData
        self.dialog = None

    def _count(self, size):
        self.instructions += size // 4

    def _stub(self, name):
        """An address for the stand-in `name`; an import without one fails here, by name."""
        assert name in STANDINS, "no stand-in for " + name
        address = STUBS + 16 * len(self.stubs)
        self.stubs[address] = name
        return address

    # Memory helpers.
    def u32(self, address):
        return struct.unpack("<I", self.uc.mem_read(address, 4))[0]

    def wide(self, address, limit=1024):
        return self.uc.mem_read(address, 2 * limit).decode("utf-16-le", "replace").split("\0")[0]

    def alloc(self, data):
        address, self.heap = self.heap, self.heap + ((len(data) + 7) & ~7)
        assert self.heap <= HEAP + HEAP_SIZE, "host heap full"
        self.uc.mem_write(address, bytes(data))
        return address

    # Running code.
    def call(self, address, *args):
        """Runs the DLL's function at `address` with integer arguments; its r0."""
        # The stack's top 4 KiB stay unused, so that a text near the top reads whole.
        self.uc.reg_write(arm.UC_ARM_REG_SP, STACK + STACK_SIZE - 0x1000)
        waiting = []  # (generator, return address) of stand-ins in a call back into the DLL
        pc = self._enter(address, args, EXIT)
        while True:
            try:
                self.uc.emu_start(pc, EXIT, count=200_000_000)
            except UcError as error:
                if error.errno != UC_ERR_FETCH_UNMAPPED:
                    pc = self.pc()
                    raise AssertionError("%s at %#x (%s)" % (error, pc, self.where(pc))) from None
            pc = self.pc()
            r0 = self.uc.reg_read(arm.UC_ARM_REG_R0)
            if pc == EXIT:
                return r0
            if pc == RETURN:
                generator, back = waiting.pop()
                pc = self._advance(generator, back, lambda: generator.send(r0), waiting)
                continue
            assert pc in self.stubs, "stopped at %#x (%s)" % (pc, self.where(pc))
            count, function = STANDINS[self.stubs[pc]]
            back = self.uc.reg_read(arm.UC_ARM_REG_LR)
            stack = self.uc.reg_read(arm.UC_ARM_REG_SP)
            args = [self.uc.reg_read(r) for r in ARGS][:count]
            args += [self.u32(stack + 4 * i) for i in range(max(count - 4, 0))]
            result = function(self, *args)
            if inspect.isgenerator(result):
                pc = self._advance(result, back, lambda g=result: next(g), waiting)
            else:
                self.uc.reg_write(arm.UC_ARM_REG_R0, result & 0xFFFFFFFF)
                pc = back

    def _advance(self, generator, back, step, waiting):
        """Runs a stand-in on to its next call into the DLL (where to go now), or to its end
        (back to its caller with its result)."""
        try:
            target, *args = step()
        except StopIteration as done:
            self.uc.reg_write(arm.UC_ARM_REG_R0, (done.value or 0) & 0xFFFFFFFF)
            return back
        waiting.append((generator, back))
        return self._enter(target, args, RETURN)

    def _enter(self, address, args, back):
        for register, value in zip(ARGS, args):
            self.uc.reg_write(register, value & 0xFFFFFFFF)
        self.uc.reg_write(arm.UC_ARM_REG_LR, back)
        return address

    def pc(self):
        return self.uc.reg_read(arm.UC_ARM_REG_PC)

    def where(self, pc):
        if BASE <= pc < BASE + self.size:
            return "DLL offset %#x, %#x at its own base" % (pc - BASE, pc - BASE + self.preferred)
        return self.stubs.get(pc, "outside the DLL")

    def send_high_score(self, name, game, score):
        self.call(self.entry, BASE, 1, 0)  # DllMain, DLL_PROCESS_ATTACH, as the loader does
        text = self.alloc((name + "\0").encode("utf-16-le"))
        return self.call(self.exports[1], text, game, score, PARENT)


class Dialog:
    """Template 129 as the DLL holds it: the controls' ids and texts, and what happens to them."""

    def __init__(self, machine, address):
        read = machine.uc.mem_read
        style, _, count = struct.unpack("<IIH", read(address, 10))
        offset = address + 18

        def text(at):  # a resource string or ordinal; (value, address after it)
            if struct.unpack("<H", read(at, 2))[0] == 0xFFFF:
                return struct.unpack("<H", read(at + 2, 2))[0], at + 4
            value = machine.wide(at)
            return value, at + 2 * len(value) + 2

        _, offset = text(offset)  # menu
        _, offset = text(offset)  # class
        self.title, offset = text(offset)
        if style & 0x40:  # DS_SETFONT
            _, offset = text(offset + 2)
        self.texts, self.limits, self.result = {}, {}, None
        for _ in range(count):
            offset = (offset + 3) & ~3
            control = struct.unpack("<H", read(offset + 16, 2))[0]
            _, offset = text(offset + 18)  # class
            self.texts[control], offset = text(offset)
            offset += 2 + struct.unpack("<H", read(offset, 2))[0]


@standin("FindResourceW", 3)
def find_resource(m, instance, name, kind):
    # The DLL's own resources, found through the instance DllMain was given.
    assert (instance, name, kind) == (BASE, 129, 5), (hex(instance), name, kind)
    return m.template


@standin("LoadResource", 2)
def load_resource(m, instance, found):
    assert (instance, found) == (BASE, m.template)
    return m.template


@standin("DialogBoxIndirectParamW", 5)
def dialog_box(m, instance, template, parent, proc, param):
    assert (instance, template, parent, param) == (BASE, m.template, PARENT, 0)
    # The player: the dialog opens, the handle is typed, Send SMS pressed, and Cancel if the
    # dialog is still open after that.
    dialog = m.dialog = Dialog(m, template)
    yield proc, DIALOG, WM_INITDIALOG, 0, 0
    dialog.texts[IDC_HANDLE] = m.player_handle[:dialog.limits.get(IDC_HANDLE, 0x7FFFFFFF)]
    for control in (IDC_SEND, IDCANCEL):
        if dialog.result is None:
            yield proc, DIALOG, WM_COMMAND, control, 0x7000 + control
    return dialog.result


@standin("EndDialog", 2)
def end_dialog(m, window, result):
    m.events.append("end %d" % struct.unpack("<i", struct.pack("<I", result))[0])
    m.dialog.result = result
    return 1


@standin("SetDlgItemTextW", 3)
def set_item_text(m, window, control, text):
    m.dialog.texts[control] = m.wide(text)
    m.events.append("item %d %s" % (control, m.dialog.texts[control]))
    return 1


@standin("GetDlgItemTextW", 4)
def get_item_text(m, window, control, out, capacity):
    text = m.dialog.texts.get(control, "")[:max(capacity - 1, 0)]  # cut to fit, as Windows does
    m.uc.mem_write(out, (text + "\0").encode("utf-16-le"))
    return len(text)


@standin("SendDlgItemMessageW", 5)
def send_item_message(m, window, control, message, wparam, lparam):
    assert message == EM_LIMITTEXT, hex(message)
    m.dialog.limits[control] = wparam
    m.events.append("limit %d %d" % (control, wparam))
    return 0


@standin("SetWindowTextW", 2)
def set_window_text(m, window, text):
    m.events.append("title %s" % m.wide(text))
    return 1


@standin("MessageBoxW", 4)
def message_box(m, owner, text, caption, style):
    m.events.append("box owner=%#x style=%#x %s: %s" % (owner, style, m.wide(caption),
                                                         m.wide(text)))
    return IDOK


@standin("CreateWindowExW", 12)
def create_window(m, exstyle, cls, title, style, x, y, cx, cy, parent, menu, instance, data):
    signed = [struct.unpack("<i", struct.pack("<I", v))[0] for v in (x, y, cx, cy)]
    m.events.append("window %s parent=%#x id=%d style=%#x exstyle=%d at %s" % (
        m.wide(cls), parent, menu, style, exstyle, signed))
    return 0x7001


@standin("LoadLibraryW", 1)
def load_library(m, name):
    m.events.append("load %s" % m.wide(name))
    return SHELL


@standin("GetProcAddressW", 2)
def get_proc_address(m, module, name):
    assert module == SHELL and name < 0x10000, "only the shell's ordinals are looked up"
    return m._stub("aygshell.dll#%d" % name)


@standin("aygshell.dll#56", 1)
def sh_init_dialog(m, info):
    m.events.append("SHInitDialog mask=%d dialog=%#x flags=%d" % struct.unpack(
        "<III", m.uc.mem_read(info, 12)))
    return 1


# The serial port: "COM3:" is the pseudo-terminal at port_path (none: it cannot be opened).
@standin("CreateFileW", 7)
def create_file(m, name, access, share, security, disposition, flags, template):
    assert m.wide(name) == "COM3:" and m.fd is None, m.wide(name)
    if m.port_path is None:
        m.error = 55  # ERROR_DEV_NOT_EXIST
        return INVALID_HANDLE
    m.fd = os.open(m.port_path, os.O_RDWR | os.O_NOCTTY)
    return PORT


@standin("FormatMessageW", 7)
def format_message(m, flags, source, code, language, out, size, arguments):
    assert flags == 0x1300, hex(flags)
    text = {55: "The specified network resource or device is no longer available.\r\n"}[code]
    m.uc.mem_write(out, struct.pack("<I", m.alloc((text + "\0").encode("utf-16-le"))))
    return len(text)


@standin("GetCommState", 2)
def get_comm_state(m, port, dcb):
    assert port == PORT
    # A port as it might be found: 9600 baud, binary, DTR and RTS on; the rest is the DLL's.
    m.uc.mem_write(dcb + 4, struct.pack("<II", 9600, 0x1011))
    return 1


@standin("SetCommState", 2)
def set_comm_state(m, port, dcb):
    assert port == PORT
    m.settings = struct.unpack("<IIIHHHBBB", m.uc.mem_read(dcb, 21))
    attributes = termios.tcgetattr(m.fd)
    attributes[4] = attributes[5] = termios.B115200 if m.settings[1] == 115200 else termios.B9600
    termios.tcsetattr(m.fd, termios.TCSANOW, attributes)
    return 1


@standin("SetCommTimeouts", 2)
def set_comm_timeouts(m, port, timeouts):
    m.timeouts = list(struct.unpack("<5I", m.uc.mem_read(timeouts, 20)))
    return 1


@standin("EscapeCommFunction", 2)
def escape(m, port, function):
    m.events.append("escape %d" % function)
    return 1


@standin("PurgeComm", 2)
def purge(m, port, flags):
    termios.tcflush(m.fd, termios.TCIOFLUSH)
    return 1


@standin("ReadFile", 5)
def read_file(m, port, buffer, count, done, overlapped):
    """Waits for the bytes as the time-outs say: ReadTotalTimeoutMultiplier per byte plus
    ReadTotalTimeoutConstant in all (the interval time-out of MAXDWORD adds no limit)."""
    _, multiplier, constant = m.timeouts[:3]
    deadline = time.monotonic() + (multiplier * count + constant) / 1000
    data = b""
    while len(data) < count:
        ready, _, _ = select.select([m.fd], [], [], max(deadline - time.monotonic(), 0))
        if not ready:
            break
        try:
            data += os.read(m.fd, count - len(data))
        except OSError:
            return 0  # the phone hung up
    m.uc.mem_write(buffer, data)
    m.uc.mem_write(done, struct.pack("<I", len(data)))
    return 1


@standin("WriteFile", 5)
def write_file(m, port, buffer, count, done, overlapped):
    written = os.write(m.fd, bytes(m.uc.mem_read(buffer, count)))
    m.uc.mem_write(done, struct.pack("<I", written))
    return 1


@standin("CloseHandle", 1)
def close_handle(m, handle):
    assert handle == PORT and m.fd is not None
    os.close(m.fd)
    m.fd = None
    m.events.append("closed")
    return 1


@standin("Sleep", 1)
def sleep(m, milliseconds):
    m.pauses.append(milliseconds)  # counted, not waited: the phone answers at once
    return 0


@standin("QueryPerformanceFrequency", 1)
def performance_frequency(m, out):
    m.uc.mem_write(out, struct.pack("<Q", 3686400))  # the SA-1110's OS timer
    return 1


@standin("QueryPerformanceCounter", 1)
def performance_counter(m, out):
    m.uc.mem_write(out, struct.pack("<Q", int(time.monotonic() * 3686400)))
    return 1


def shell_call(ordinal):
    def call(m, window, value):
        m.events.append("shell#%d %#x %d" % (ordinal, window, value))
        return 1
    return call


for number in (65, 21):
    standin("aygshell.dll#%d" % number, 2)(shell_call(number))
# Calls whose effect no test looks at: name, argument count, result.
for name, count, result in (("UpdateWindow", 1, 1), ("LocalFree", 1, 0), ("GetCommTimeouts", 2, 1),
                            ("GetTickCount", 0, 0)):
    standin(name, count)(lambda m, *args, result=result: result)
standin("GetLastError", 0)(lambda m: m.error)
