// The C# binding against the real library and the simulator, under Mono.
// Usage: mono BindingTests.exe CASE; exit 0 when the case passed. Each case
// runs in a process of its own: a binding fault here ends the process.
using System;
using System.Collections.Generic;
using System.Runtime.InteropServices;
using System.Threading;
using Qvctx;

static class BindingTests
{
    const int kWaitMs = 60000; // however loaded the machine

    [DllImport("wfapi64")] static extern void WfSimReset();
    [DllImport("wfapi64")] static extern void WfSimSetBuiltInClient(int on);
    [DllImport("wfapi64")] static extern int WfSimClientSendEvent(uint id, byte[] payload, uint length);
    [StructLayout(LayoutKind.Sequential)]
    struct MallInfo2 { public UIntPtr arena, ordblks, smblks, hblks, hblkhd, usmblks, fsmblks, uordblks, fordblks, keepcost; }
    [DllImport("libc")] static extern MallInfo2 mallinfo2();

    static void Check(bool condition, string what)
    {
        if (!condition) throw new Exception("failed: " + what);
    }

    // Packages a session received, in order, and a wait for their count.
    sealed class Inbox
    {
        public readonly List<PackageEventArgs> Packages = new List<PackageEventArgs>();
        public readonly List<Exception> Failures = new List<Exception>();
        public void Add(object sender, PackageEventArgs e) { lock (this) { Packages.Add(e); Monitor.PulseAll(this); } }
        public void Failed(object sender, HandlerFailedEventArgs e) { lock (this) Failures.Add(e.Exception); }
        public bool WaitFor(int count, Action meanwhile)
        {
            DateTime give_up = DateTime.UtcNow.AddMilliseconds(kWaitMs);
            lock (this)
                while (Packages.Count < count)
                {
                    if (DateTime.UtcNow > give_up) return false;
                    if (meanwhile != null) { Monitor.Exit(this); meanwhile(); Monitor.Enter(this); }
                    Monitor.Wait(this, 10);
                }
            return true;
        }
    }

    static QvctxSession Open(Inbox inbox, bool answer_calls)
    {
        var session = new QvctxSession();
        session.EventReceived += inbox.Add;
        session.ResultReceived += inbox.Add;
        session.HandlerFailed += inbox.Failed;
        session.Start();
        WfSimSetBuiltInClient(answer_calls ? 1 : 0);
        return session;
    }

    static void SendEvent(uint id)
    {
        Check(WfSimClientSendEvent(id, BitConverter.GetBytes(id), 4) == 0, "event queued");
    }

    static void Collect()
    {
        GC.Collect();
        GC.WaitForPendingFinalizers();
    }

    // Hundreds of packages while collections run: the library's function
    // pointers must still reach the binding, every package arriving once.
    static void GcStress()
    {
        const int kEvents = 400;
        var inbox = new Inbox();
        using (Open(inbox, false))
        {
            for (uint id = 1; id <= kEvents; ++id)
            {
                SendEvent(id);
                if (id % 20 == 0) Collect();
            }
            Check(inbox.WaitFor(kEvents, Collect), "every event delivered");
        }
        for (int i = 0; i < kEvents; ++i)
            Check(inbox.Packages[i].Head.messageID == i + 1 &&
                  BitConverter.ToUInt32(inbox.Packages[i].Payload(), 0) == i + 1, "event " + (i + 1) + " in order, intact");
    }

    // A handler that throws: reported, and the next package still arrives.
    static void ThrowingHandler()
    {
        var inbox = new Inbox();
        using (QvctxSession session = Open(inbox, false))
        {
            session.EventReceived += (sender, e) => { if (e.Head.messageID == 1) throw new InvalidOperationException("thrown by the host"); };
            SendEvent(1);
            SendEvent(2);
            Check(inbox.WaitFor(2, null), "the event after the throw delivered");
        }
        Check(inbox.Failures.Count == 1 && inbox.Failures[0].Message == "thrown by the host", "the exception reported once");
    }

    // Each text read and given back once: a double free aborts, and a text
    // never given back would grow the C heap by a block per fetch (glibc's
    // count; under AddressSanitizer its leak check at exit sees it instead).
    static void SessionLog()
    {
        const int kFetches = 20000;
        using (Open(new Inbox(), false)) { }
        string first = QvctxSession.TakeSessionLog();
        Check(first.StartsWith("Info - ServerStartSession:: Entering function &"), "the session's lines: " + first);
        for (int i = 0; i < 1000; ++i) QvctxSession.TakeSessionLog();
        ulong before = mallinfo2().uordblks.ToUInt64();
        for (int i = 0; i < kFetches; ++i) Check(QvctxSession.TakeSessionLog() == "No logs", "no lines left");
        ulong after = mallinfo2().uordblks.ToUInt64();
        // An unreleased "No logs" keeps at least 16 bytes.
        Check(after < before + kFetches * 16UL, "heap grew by " + (after - before) + " bytes");
    }

    // Start, use, dispose, start again: the second session gets its own
    // callbacks and answers; the first one nothing more.
    static void Restart()
    {
        var first = new Inbox();
        QvctxSession session = Open(first, true);
        Check(session.SendCall(0x101, new byte[] { 1 }) && first.WaitFor(1, null), "first session answered");
        session.Dispose();
        session.Dispose();
        try { session.SendCall(0x101, null); Check(false, "disposed session sends"); } catch (ObjectDisposedException) { }
        var second = new Inbox();
        using (QvctxSession again = Open(second, true))
        {
            try { new QvctxSession().Start(); Check(false, "a second session at once"); } catch (InvalidOperationException) { }
            Check(again.SendCall(0x201, new byte[] { 2, 3 }) && second.WaitFor(1, null), "second session answered");
        }
        PackageHead head = second.Packages[0].Head;
        Check(Marshal.SizeOf(typeof(PackageHead)) == PackageHead.Size && head.FNCTyp == PackageHead.ResultType &&
              head.usMagic == PackageHead.Magic && head.messageID == 0x201 && head.datasize == PackageHead.Size + 2 &&
              second.Packages[0].Payload()[1] == 3, "the answer's head and payload");
        Check(first.Packages.Count == 1, "nothing more for the disposed session");
    }

    static int Main(string[] args)
    {
        var cases = new Dictionary<string, Action> {
            { "gc_stress", GcStress }, { "throwing_handler", ThrowingHandler },
            { "session_log", SessionLog }, { "restart", Restart },
        };
        Action run;
        if (args.Length != 1 || !cases.TryGetValue(args[0], out run))
        {
            Console.Error.WriteLine("usage: BindingTests.exe " + string.Join("|", cases.Keys));
            return 2;
        }
        WfSimReset();
        run();
        Console.WriteLine(args[0] + " passed");
        return 0;
    }
}
