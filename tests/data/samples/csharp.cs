// A sample for the C# lexer.
using System;
using System.Collections.Generic;

namespace Demo.Shapes
{
    #region Shapes
    public abstract record Shape
    {
        public abstract double Area { get; }
    }

    public sealed record Circle(double Radius) : Shape
    {
        public override double Area => Math.PI * Radius * Radius;
    }
    #endregion

    internal static class Report
    {
        /// <summary>Describes a shape.</summary>
        public static string Describe(Shape? shape)
        {
            var path = @"C:\temp\""shapes"".txt";
            var name = shape?.GetType().Name ?? "none";
            var text = $"{name}: {shape?.Area:F2} {{braces}}";
            var raw = """
                Raw "quoted" text
                """;
            char c = '\'';
            int @class = 0x7F_FF + 0b1010 + 1_000;
            decimal money = 12.50m;
            double ratio = 1.5e-3;
#if DEBUG
            Console.WriteLine(path + raw + c + @class + money + ratio);
#endif
            return shape switch
            {
                Circle { Radius: > 10 } => "big circle",
                null => "nothing",
                _ => text,
            };
        }

        public static async IAsyncEnumerable<int> Count(int n)
        {
            for (var i = 0; i < n; i++) { yield return await Task.FromResult(i); }
        }
    }
}
