// SampleHost: a qvctx host in C#, to copy from. It starts a session through
// the binding (bindings/dotnet/Qvctx.cs), sends a few far-function calls and
// one bulk transfer, prints each answer, prints the session log and closes.
//
// Against the simulator of the platform's library (this project's wfapi64)
// it asks the simulator's built-in client to answer; on a real server that
// step finds nothing to ask, and the client on the user's machine answers.
// Build: mcs SampleHost.cs Qvctx.cs (or add both to a .NET project, x64).
// Exit status: 0 when every answer came back with the payload sent.
using System;
using System.Collections.Generic;
using System.Runtime.InteropServices;
using System.Text;
using System.Threading;
using Qvctx;

static class SampleHost
{
    const int kCalls = 5;
    const uint kFirstCallId = 0x0101;
    const uint kBulkId = 0x0102; // function 2; the calls are function 1
    const int kBulkPayload = 100000;
    const int kWaitMs = 30000;

    // Every answer by messageID, written on the reader thread.
    static readonly Dictionary<uint, byte[]> answers_ = new Dictionary<uint, byte[]>();

    [DllImport("wfapi64", CallingConvention = CallingConvention.Cdecl)]
    static extern void WfSimSetBuiltInClient(int on);

    // Only the simulator has a built-in client; the platform's library lacks
    // this function, and nothing happens.
    static void AskSimulatedClientToAnswer()
    {
        try
        {
            WfSimSetBuiltInClient(1);
        }
        catch (EntryPointNotFoundException)
        {
        }
        catch (DllNotFoundException)
        {
        }
    }

    static void OnResult(object sender, PackageEventArgs package)
    {
        // Keep it short: the reader reads nothing else while this runs. A UI
        // host would post the package to its UI thread here, never Invoke.
        lock (answers_)
        {
            answers_[package.Head.messageID] = package.Payload();
            Monitor.PulseAll(answers_);
        }
    }

    static bool WaitForAnswers(int count)
    {
        DateTime give_up = DateTime.UtcNow.AddMilliseconds(kWaitMs);
        lock (answers_)
        {
            while (answers_.Count < count)
            {
                TimeSpan left = give_up - DateTime.UtcNow;
                if (left <= TimeSpan.Zero) return false;
                Monitor.Wait(answers_, left);
            }
        }
        return true;
    }

    static bool Same(byte[] a, byte[] b)
    {
        if (a == null || b == null || a.Length != b.Length) return false;
        for (int i = 0; i < a.Length; ++i)
            if (a[i] != b[i]) return false;
        return true;
    }

    static int Main()
    {
        var sent = new Dictionary<uint, byte[]>();
        using (var session = new QvctxSession())
        {
            session.ResultReceived += OnResult;
            session.EventReceived += (sender, e) =>
                Console.WriteLine("event 0x{0:x}: {1} bytes", e.Head.messageID, e.Package.Length);
            session.HandlerFailed += (sender, e) =>
                Console.Error.WriteLine("SampleHost: a handler failed: " + e.Exception.Message);
            try
            {
                session.Start();
            }
            catch (QvctxException refused)
            {
                Console.Error.WriteLine("SampleHost: the session could not start: " + refused.Message);
                return 3;
            }
            AskSimulatedClientToAnswer();

            for (int i = 0; i < kCalls; ++i)
            {
                uint id = kFirstCallId + (uint)(i << 8);
                byte[] payload = Encoding.ASCII.GetBytes("call " + i + " from a C# host");
                sent[id] = payload;
                if (!session.SendCall(id, payload)) Console.Error.WriteLine("SampleHost: call 0x{0:x} not sent", id);
            }
            // Bulk data goes as it is: here the host lays out a whole call
            // package itself, which the client answers like any call.
            byte[] bulk = new byte[kBulkPayload];
            for (int i = 0; i < bulk.Length; ++i) bulk[i] = (byte)(i * 7);
            sent[kBulkId] = bulk;
            if (!session.SendBulk(Packages.Build(kBulkId, bulk))) Console.Error.WriteLine("SampleHost: bulk data not sent");

            if (!WaitForAnswers(sent.Count)) Console.Error.WriteLine("SampleHost: answers missing after {0} ms", kWaitMs);
        } // Dispose: closes the session; no handler runs after this.

        int intact = 0;
        lock (answers_)
        {
            foreach (KeyValuePair<uint, byte[]> call in sent)
            {
                byte[] answer;
                answers_.TryGetValue(call.Key, out answer);
                bool same = Same(answer, call.Value);
                if (same) ++intact;
                string text = answer == null ? "none" : call.Key == kBulkId ? answer.Length + " bytes" : Encoding.ASCII.GetString(answer);
                Console.WriteLine("answer 0x{0:x}: {1}{2}", call.Key, text, same ? "" : " (differs)");
            }
        }
        Console.WriteLine("session log: " + QvctxSession.TakeSessionLog());
        Console.WriteLine(intact == sent.Count ? "every answer arrived intact" : "answers missing or wrong");
        return intact == sent.Count ? 0 : 1;
    }
}
