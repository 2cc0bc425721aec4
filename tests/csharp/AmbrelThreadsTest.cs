// Ambrel.Status() and Ambrel.Power() from several threads at once, each
// answer compared with the fixture's expected text.
//     mono AmbrelThreadsTest.exe EXPECTED_STATUS EXPECTED_POWER
using System;
using System.IO;
using System.Threading;

public static class AmbrelThreadsTest
{
    public static int Main(string[] args)
    {
        string status = File.ReadAllText(args[0]).TrimEnd('\n');
        string power = File.ReadAllText(args[1]).TrimEnd('\n');
        int wrong = 0, calls = 0;
        var threads = new Thread[8];
        for (int t = 0; t < threads.Length; ++t)
        {
            threads[t] = new Thread(() =>
            {
                for (int i = 0; i < 300; ++i)
                {
                    if (Ambrel.Status() != status) Interlocked.Increment(ref wrong);
                    if (Ambrel.Power() != power) Interlocked.Increment(ref wrong);
                    Interlocked.Add(ref calls, 2);
                }
            });
            threads[t].Start();
        }
        foreach (Thread thread in threads) thread.Join();
        Console.WriteLine("{0} calls from {1} threads, {2} wrong answers", calls, threads.Length, wrong);
        return wrong == 0 && calls == 8 * 600 ? 0 : 1;
    }
}
