// qvctx for .NET hosts: the library's thirteen exports as P/Invoke
// declarations, the 34-byte package head, a package builder and QvctxSession,
// a small session class that keeps its callbacks alive and never lets a
// handler's exception reach the library. Plain C# that Mono's mcs and current
// .NET compile; add this file to the host's project.
//
// The library is x64 only: the host process must be 64-bit (PlatformTarget
// x64, not AnyCPU with "Prefer 32-bit", not x86). It is found by the name
// "qvctx": qvctx.dll on Windows, libqvctx.so on Linux (README.md beside this
// file says where each runtime looks).
using System;
using System.Runtime.InteropServices;
using System.Text;
using System.Threading;

namespace Qvctx
{
    /// <summary>The library's exports as declared in qvctx/qvctx.h, in the
    /// platform's one x64 calling convention. Results: 0 success, 1 failure,
    /// unless said otherwise. Use QvctxSession rather than these where you
    /// can: it keeps the callback delegates alive and catches exceptions.</summary>
    public static class NativeMethods
    {
        /// <summary>The library's name: qvctx.dll on Windows, libqvctx.so
        /// on Linux.</summary>
        public const string Library = "qvctx";

        /// <summary>Receives one complete package (its PACKAGEHEAD first) on
        /// the library's reader thread; the bytes are valid only during the
        /// call. The library keeps the function pointer until it is replaced,
        /// emptied or the session is closed: keep the delegate referenced at
        /// least that long, or the next package calls freed code. It must
        /// not throw.</summary>
        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        public delegate void PackageCallBack(IntPtr package, uint length);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int ServerStartSession();

        /// <summary>Always does every step; returns ServerGetLastError's
        /// value. Clears both callback slots.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int ServerCloseSession();

        /// <summary>Always 0; null empties the slot.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int ServerRegisterEventCallBackFunction(PackageCallBack callback);

        /// <summary>Always 0; null empties the slot.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int ServerRegisterResultCallBackFunction(PackageCallBack callback);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int ServerRegisterFarFunction(byte[] package, int length);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int ServerSendBulkData(byte[] data, uint length);

        /// <summary>The text belongs to the library: read it, then give it
        /// back with ServerSessionFreeLog. Never declare it as returning
        /// string: the marshaller would free the library's memory.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr ServerSessionLog();

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void ServerSessionFreeLog();

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int ServerGetLastError();

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int ServerSessionInfo();

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int ServerQueryInformation();

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int ServerSetInformation();

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int ServerSessionReset();
    }

    /// <summary>The 34-byte header in front of every package (PACKAGEHEAD):
    /// little-endian, no padding, so the time stamps are not 4-byte
    /// aligned. Marshal.SizeOf gives 34.</summary>
    [StructLayout(LayoutKind.Explicit, Pack = 1, Size = 34)]
    public struct PackageHead
    {
        public const int Size = 34;
        public const ushort Magic = 10001;
        public const ushort CallType = 0;   // a far-function call to the client
        public const ushort EventType = 1;  // an event from the client
        public const ushort ResultType = 2; // a result from the client

        [FieldOffset(0)] public ushort FNCTyp;
        [FieldOffset(2)] public ushort usMagic;
        /// <summary>Chosen by the host; its low byte is the function id.</summary>
        [FieldOffset(4)] public uint messageID;
        /// <summary>The whole package's length, header included.</summary>
        [FieldOffset(8)] public uint datasize;
        [FieldOffset(12)] public uint ulLength2;
        [FieldOffset(16)] public ushort usReserved;
        /// <summary>ulTimeStamps[0..3]: passed through untouched.</summary>
        [FieldOffset(18)] public uint ulTimeStamp0;
        [FieldOffset(22)] public uint ulTimeStamp1;
        [FieldOffset(26)] public uint ulTimeStamp2;
        [FieldOffset(30)] public uint ulTimeStamp3;

        /// <summary>The header at the start of `package`.</summary>
        public static PackageHead Read(byte[] package)
        {
            if (package == null) throw new ArgumentNullException("package");
            if (package.Length < Size) throw new ArgumentException("shorter than a package head", "package");
            PackageHead head;
            head.FNCTyp = (ushort)Load(package, 0, 2);
            head.usMagic = (ushort)Load(package, 2, 2);
            head.messageID = Load(package, 4, 4);
            head.datasize = Load(package, 8, 4);
            head.ulLength2 = Load(package, 12, 4);
            head.usReserved = (ushort)Load(package, 16, 2);
            head.ulTimeStamp0 = Load(package, 18, 4);
            head.ulTimeStamp1 = Load(package, 22, 4);
            head.ulTimeStamp2 = Load(package, 26, 4);
            head.ulTimeStamp3 = Load(package, 30, 4);
            return head;
        }

        /// <summary>Writes the header into the first 34 bytes of `package`.</summary>
        public void Write(byte[] package)
        {
            if (package == null) throw new ArgumentNullException("package");
            if (package.Length < Size) throw new ArgumentException("shorter than a package head", "package");
            Store(package, 0, 2, FNCTyp);
            Store(package, 2, 2, usMagic);
            Store(package, 4, 4, messageID);
            Store(package, 8, 4, datasize);
            Store(package, 12, 4, ulLength2);
            Store(package, 16, 2, usReserved);
            Store(package, 18, 4, ulTimeStamp0);
            Store(package, 22, 4, ulTimeStamp1);
            Store(package, 26, 4, ulTimeStamp2);
            Store(package, 30, 4, ulTimeStamp3);
        }

        static uint Load(byte[] bytes, int offset, int count)
        {
            uint value = 0;
            for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[offset + i];
            return value;
        }

        static void Store(byte[] bytes, int offset, int count, uint value)
        {
            for (int i = 0; i < count; ++i) bytes[offset + i] = (byte)(value >> (8 * i));
        }
    }

    /// <summary>Builds packages to send.</summary>
    public static class Packages
    {
        /// <summary>`head` followed by `payload`, with usMagic, datasize and
        /// ulLength2 filled in; FNCTyp, messageID, usReserved and the time
        /// stamps as given. The result can go to SendCall (which stamps the
        /// call type itself) or, as bytes laid out by the host, to
        /// SendBulk.</summary>
        public static byte[] Build(PackageHead head, byte[] payload)
        {
            int payload_length = payload == null ? 0 : payload.Length;
            byte[] package = new byte[PackageHead.Size + payload_length];
            head.usMagic = PackageHead.Magic;
            head.datasize = (uint)package.Length;
            head.ulLength2 = head.datasize;
            head.Write(package);
            if (payload_length > 0) Buffer.BlockCopy(payload, 0, package, PackageHead.Size, payload_length);
            return package;
        }

        /// <summary>A far-function call: FNCTyp 0, `messageId` (not 0: the
        /// client's reader would never accept it), time stamps 0.</summary>
        public static byte[] Build(uint messageId, byte[] payload)
        {
            PackageHead head = new PackageHead();
            head.FNCTyp = PackageHead.CallType;
            head.messageID = messageId;
            return Build(head, payload);
        }
    }

    /// <summary>A package from the client, copied out of the library's
    /// buffer: yours to keep.</summary>
    public sealed class PackageEventArgs : EventArgs
    {
        readonly byte[] package_;
        readonly PackageHead head_;

        public PackageEventArgs(byte[] package)
        {
            package_ = package;
            head_ = PackageHead.Read(package);
        }

        public PackageHead Head { get { return head_; } }
        /// <summary>The whole package, header first.</summary>
        public byte[] Package { get { return package_; } }

        /// <summary>The bytes after the header.</summary>
        public byte[] Payload()
        {
            byte[] payload = new byte[package_.Length - PackageHead.Size];
            Buffer.BlockCopy(package_, PackageHead.Size, payload, 0, payload.Length);
            return payload;
        }
    }

    /// <summary>An exception a host's EventReceived or ResultReceived handler
    /// threw; the package it was handling is dropped.</summary>
    public sealed class HandlerFailedEventArgs : EventArgs
    {
        readonly Exception exception_;
        public HandlerFailedEventArgs(Exception exception) { exception_ = exception; }
        public Exception Exception { get { return exception_; } }
    }

    /// <summary>The session could not start; Message carries the session
    /// log, which says which step failed.</summary>
    public sealed class QvctxException : Exception
    {
        public QvctxException(string message) : base(message) { }
    }

    /// <summary>
    /// One qvctx session: Start registers both callbacks and starts it,
    /// Dispose closes it. Subscribe to the events before Start.
    ///
    /// Results: Start throws QvctxException when the library refuses the
    /// session (no ICA session, no channel, the client away), after which
    /// the object is spent (make a new one to try again); the sends
    /// return false when the library wrote nothing or not everything, the
    /// sign that the client has gone: dispose, and start a new session once
    /// it is back. Misuse throws as usual (ArgumentNullException,
    /// ObjectDisposedException, InvalidOperationException).
    ///
    /// One per process: the library holds one pair of callbacks for the whole
    /// process, so only one session may be open at a time; a Start before the
    /// open session's Dispose has returned throws InvalidOperationException.
    /// The delegates the library calls are static and live as long as the
    /// process, so no collection can free them while the library may call
    /// them, also not after Dispose or while a handler that disposed its
    /// session is still running. Other code of the process that registers
    /// its own callbacks through NativeMethods replaces these.
    ///
    /// Threads: EventReceived, ResultReceived and HandlerFailed are raised on
    /// the library's reader thread, one package at a time, in arrival order;
    /// while a handler runs nothing else is read, so return quickly. A UI
    /// host posts to its UI thread (Control.BeginInvoke,
    /// SynchronizationContext.Post, Dispatcher.BeginInvoke) and never blocks
    /// on it (Control.Invoke, Dispatcher.Invoke, Wait): Dispose on the UI
    /// thread waits for a running handler to return, and a handler waiting
    /// for the UI thread never does, so both wait for ever. Sends and Dispose
    /// may be called from any thread, also from a handler.
    ///
    /// Disposing: closes the session (the library stops its reader, empties
    /// both callback slots and closes the channel). From another thread it
    /// waits until a running handler has returned and the reader has ended;
    /// no event is raised after it returns (packages arriving while it runs
    /// are dropped). From a handler it returns at once and the reader ends
    /// when that handler returns. Disposing twice does nothing. There is no
    /// finalizer, since a close on the finalizer thread could wait for a
    /// handler: a session never disposed runs until the process ends.
    ///
    /// A handler that throws: the exception is caught before it can reach
    /// the library (it would end the process), reported through
    /// HandlerFailed, and the next package is delivered as usual. An
    /// exception thrown by a HandlerFailed handler is dropped.
    /// </summary>
    public sealed class QvctxSession : IDisposable
    {
        const int kNew = 0, kStarting = 1, kStarted = 2, kDisposed = 3;
        static readonly object owner_lock_ = new object();
        static readonly object log_lock_ = new object();
        // The session that holds the process's callback slots, from its
        // Start until its close has returned; and the one events go to.
        static QvctxSession owner_;
        static volatile QvctxSession current_;
        // The function pointers the library holds, for the whole process:
        // it may call them until the close, and a reader whose handler
        // disposed its session runs in them after that close returned.
        static readonly NativeMethods.PackageCallBack on_event_ = new Slot(false).Call;
        static readonly NativeMethods.PackageCallBack on_result_ = new Slot(true).Call;

        int state_ = kNew;

        /// <summary>Raised for each event package (FNCTyp 1), on the reader thread.</summary>
        public event EventHandler<PackageEventArgs> EventReceived;
        /// <summary>Raised for each result package (FNCTyp 2), on the reader thread.</summary>
        public event EventHandler<PackageEventArgs> ResultReceived;
        /// <summary>Raised, on the reader thread, with the exception an
        /// EventReceived or ResultReceived handler threw.</summary>
        public event EventHandler<HandlerFailedEventArgs> HandlerFailed;

        /// <summary>Registers both callbacks and starts the session. No lock
        /// of the binding is held while the library runs, so a handler may
        /// dispose while another thread waits in Start or Dispose.</summary>
        public void Start()
        {
            if (IntPtr.Size != 8)
                throw new PlatformNotSupportedException("qvctx is a 64-bit library: build the host for x64");
            int was = Interlocked.CompareExchange(ref state_, kStarting, kNew);
            if (was == kDisposed) throw new ObjectDisposedException("QvctxSession");
            if (was != kNew) throw new InvalidOperationException("the session is started already");
            lock (owner_lock_)
            {
                if (owner_ != null)
                {
                    state_ = kNew;
                    throw new InvalidOperationException("another QvctxSession of this process is open");
                }
                owner_ = this;
            }
            current_ = this;
            NativeMethods.ServerRegisterEventCallBackFunction(on_event_);
            NativeMethods.ServerRegisterResultCallBackFunction(on_result_);
            string refused = null;
            if (NativeMethods.ServerStartSession() != 0)
                refused = "ServerStartSession returned 1: " + TakeSessionLog();
            else if (Interlocked.CompareExchange(ref state_, kStarted, kStarting) == kStarting)
                return;
            // Refused, or disposed while starting: the close releases
            // whatever the start had taken.
            Close();
            state_ = kDisposed;
            if (refused != null) throw new QvctxException(refused);
            throw new ObjectDisposedException("QvctxSession");
        }

        /// <summary>Sends one far-function call (a package from
        /// Packages.Build); the library stamps FNCTyp 0, the magic and both
        /// lengths in its own copy. False when it was not written.</summary>
        public bool SendCall(byte[] package)
        {
            if (package == null) throw new ArgumentNullException("package");
            CheckStarted();
            return NativeMethods.ServerRegisterFarFunction(package, package.Length) == 0;
        }

        /// <summary>Sends a far-function call with `messageId` and `payload`.</summary>
        public bool SendCall(uint messageId, byte[] payload)
        {
            return SendCall(Packages.Build(messageId, payload));
        }

        /// <summary>Sends `data` as it is, no header added, fewer than
        /// 10485760 bytes. False when not all of it was written.</summary>
        public bool SendBulk(byte[] data)
        {
            if (data == null) throw new ArgumentNullException("data");
            CheckStarted();
            return NativeMethods.ServerSendBulkData(data, (uint)data.Length) == 0;
        }

        /// <summary>The session-log lines gathered since the last call,
        /// joined by " &amp;", or "No logs"; at any time, session or not.
        /// Fetch and release are one step here, serialised across the
        /// process's threads, so no text is freed twice or kept.</summary>
        public static string TakeSessionLog()
        {
            lock (log_lock_)
            {
                IntPtr text = NativeMethods.ServerSessionLog();
                try
                {
                    return Marshal.PtrToStringAnsi(text);
                }
                finally
                {
                    NativeMethods.ServerSessionFreeLog();
                }
            }
        }

        /// <summary>Closes the session (see the class's notes); does nothing
        /// when it never started or is closed already.</summary>
        public void Dispose()
        {
            if (Interlocked.Exchange(ref state_, kDisposed) == kStarted) Close();
        }

        void Close()
        {
            // No event for this session from here on.
            current_ = null;
            NativeMethods.ServerCloseSession();
            lock (owner_lock_) owner_ = null;
        }

        void CheckStarted()
        {
            int state = state_;
            if (state == kDisposed) throw new ObjectDisposedException("QvctxSession");
            if (state != kStarted) throw new InvalidOperationException("the session is not started");
        }

        // One of the library's two callback slots.
        sealed class Slot
        {
            readonly bool result_;
            public Slot(bool result) { result_ = result; }
            public void Call(IntPtr package, uint length) { Deliver(package, length, result_); }
        }

        // Nothing may leave here: a managed exception crossing into the
        // library ends the process.
        static void Deliver(IntPtr package, uint length, bool result)
        {
            QvctxSession session = current_;
            if (session == null) return;
            try
            {
                byte[] bytes = new byte[length];
                Marshal.Copy(package, bytes, 0, (int)length);
                EventHandler<PackageEventArgs> handler = result ? session.ResultReceived : session.EventReceived;
                if (handler != null) handler(session, new PackageEventArgs(bytes));
            }
            catch (Exception exception)
            {
                try
                {
                    EventHandler<HandlerFailedEventArgs> failed = session.HandlerFailed;
                    if (failed != null) failed(session, new HandlerFailedEventArgs(exception));
                }
                catch (Exception)
                {
                }
            }
        }
    }
}
